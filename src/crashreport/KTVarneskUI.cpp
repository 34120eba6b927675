#include "crashreport/KTVarneskUI.h"

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QLayout>
#include <QPointer>
#include <QTimer>

#include "crashreport/CrashReportConfig.h"
#include "crashreport/CrashReportFormat.h"
#include "crashreport/KTVarneskManager.h"
#include "crashreport/SystemInfo.h"
#include "ui_KTVarneskMain.h"

namespace {

constexpr int kCommentsHeight = 105;
constexpr int kDetailsHeight = 285;
constexpr int kUploadDelayMs = 10;

}  // namespace

KTVarneskUI::KTVarneskUI(KTVarneskManager* delegate, const QString& crashFile,
                         const QString& companyName, const QString& applicationName)
    : window_(std::make_unique<QDialog>()),
      ui_(std::make_unique<Ui::KTVarneskMain>()),
      _delegate(delegate),
      _crashFile(crashFile),
      _companyName(companyName),
      _applicationName(applicationName) {
    ui_->setupUi(window_.get());
    ui_->crashLogTextView->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    ui_->descriptionTextField->installEventFilter(this);
    connect(ui_->commentsButton, &QCheckBox::toggled, this,
            [this](bool checked) { showComments(checked ? 1 : 0); });
    connect(ui_->showButton, &QPushButton::clicked, this, [this] {
        showDetails();
        ui_->showButton->hide();
        ui_->hideButton->show();
    });
    connect(ui_->hideButton, &QPushButton::clicked, this, [this] {
        hideDetails();
        ui_->hideButton->hide();
        ui_->showButton->show();
    });
    connect(ui_->cancelButton, &QPushButton::clicked, this, &KTVarneskUI::cancelReport);
    connect(ui_->submitButton, &QPushButton::clicked, this, &KTVarneskUI::submitReport);
    // The window's close button and Escape cancel, as the cancel button does.
    connect(window_.get(), &QDialog::rejected, this, [this] {
        if (_xml.isEmpty() && _delegate != nullptr) {
            _delegate->cancelReport();
        }
    });
}

KTVarneskUI::~KTVarneskUI() {
    ui_->descriptionTextField->removeEventFilter(this);
}

void KTVarneskUI::askCrashReportDetails() {
    window_->setWindowTitle(tr("Problem Report for %1").arg(_applicationName));
    ui_->descriptionTextField->setPlaceholderText(
        tr("Please describe any steps needed to trigger the problem"));
    ui_->noteText->setText(tr("No personal information will be sent with this report."));

    QFile crashLog(_crashFile);
    _crashLogContent = crashLog.open(QIODevice::ReadOnly)
                           ? crashformat::crashLogSection(QString::fromUtf8(crashLog.readAll()))
                           : QString();
    _consoleContent =
        crashformat::consoleExcerpt(systeminfo::systemLogText(_applicationName), _applicationName);
    ui_->crashLogTextView->setPlainText(
        QStringLiteral("%1\n\n%2").arg(_crashLogContent, _consoleContent));

    // The starting size fits the texts: comment area open, details closed.
    window_->adjustSize();
    // Typing goes straight into the description.
    ui_->descriptionTextField->setFocus(Qt::OtherFocusReason);
    QApplication::beep();
    window_->exec();
}

void KTVarneskUI::resizeKeepingTop(QWidget* area, bool visible, int heightChange) {
    // Taken before the area changes: showing it grows a visible window to its new minimum at once.
    QRect frame = window_->geometry();
    frame.setHeight(frame.height() + heightChange);
    area->setVisible(visible);
    window_->layout()->activate();
    // Qt's y grows downwards: the same y with a new height keeps the top edge in place.
    window_->setGeometry(frame);
}

void KTVarneskUI::showComments(int senderValue) {
    showComments_ = false;
    if (senderValue != 0) {
        resizeKeepingTop(ui_->commentsArea, true, kCommentsHeight);
        showComments_ = true;
    } else {
        resizeKeepingTop(ui_->commentsArea, false, -kCommentsHeight);
    }
}

void KTVarneskUI::showDetails() {
    resizeKeepingTop(ui_->detailsArea, true, kDetailsHeight);
    showDetails_ = true;
}

void KTVarneskUI::hideDetails() {
    showDetails_ = false;
    resizeKeepingTop(ui_->detailsArea, false, -kDetailsHeight);
}

void KTVarneskUI::endCrashReporter() {
    window_->hide();
}

void KTVarneskUI::cancelReport() {
    endCrashReporter();
    // rejected() tells the manager, once, however the dialog was dismissed.
    window_->reject();
}

void KTVarneskUI::submitReport() {
    ui_->submitButton->setEnabled(false);
    if (QWidget* focused = window_->focusWidget()) {
        focused->clearFocus();
    }
    const QString description =
        crashformat::descriptionText(ui_->descriptionTextField->toPlainText(), _consoleContent);
    const systeminfo::OsVersion os = systeminfo::osVersion();
    crashformat::CrashFields fields;
    fields.applicationName = KTVarneskManager::applicationName();
    fields.bundleIdentifier = QString::fromLatin1(crashconfig::kBundleIdentifier);
    fields.systemVersion = QStringLiteral("%1.%2.%3").arg(os.major).arg(os.minor).arg(os.fix);
    fields.applicationVersion = KTVarneskManager::applicationVersion();
    fields.platform = KTVarneskManager::modelVersion();
    fields.description = description;
    fields.log = _crashLogContent;
    _xml = crashformat::crashElement(fields);

    endCrashReporter();
    window_->accept();
    if (_delegate != nullptr) {
        // Deferred, so the upload begins after the modal loop has ended.
        QPointer<KTVarneskManager> manager(_delegate);
        const QString xml = _xml;
        QTimer::singleShot(kUploadDelayMs, _delegate, [manager, xml] {
            if (manager) {
                manager->sendReport(xml);
            }
        });
    }
}

bool KTVarneskUI::control(QPlainTextEdit* textView, Command command) {
    if (command != Command::InsertNewline) {
        return false;
    }
    textView->insertPlainText(QStringLiteral("\n"));
    return true;
}

bool KTVarneskUI::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ui_->descriptionTextField && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            return control(ui_->descriptionTextField, Command::InsertNewline);
        }
    }
    return QObject::eventFilter(watched, event);
}

QPlainTextEdit* KTVarneskUI::descriptionTextField() const {
    return ui_->descriptionTextField;
}
QPlainTextEdit* KTVarneskUI::crashLogTextView() const {
    return ui_->crashLogTextView;
}
QLabel* KTVarneskUI::noteText() const {
    return ui_->noteText;
}
QPushButton* KTVarneskUI::showButton() const {
    return ui_->showButton;
}
QPushButton* KTVarneskUI::hideButton() const {
    return ui_->hideButton;
}
QPushButton* KTVarneskUI::cancelButton() const {
    return ui_->cancelButton;
}
QPushButton* KTVarneskUI::submitButton() const {
    return ui_->submitButton;
}
