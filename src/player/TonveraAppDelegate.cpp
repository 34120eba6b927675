#include "player/TonveraAppDelegate.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QIcon>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMessageBox>

#include "crashreport/CrashReportConfig.h"
#include "crashreport/KTVarneskManager.h"
#include "engine/SoundEngine.h"
#include "logging/Console.h"
#include "logging/Logger.h"
#include "metronome/Metronom.h"
#include "metronome/MetronomControls.h"
#include "player/DisplayFormat.h"
#include "player/FileManagerReveal.h"
#include "player/PlayerWindowControls.h"
#include "player/overview/OverviewController.h"
#include "player/practice/HearingTools.h"
#include "player/practice/PracticeTools.h"
#include "player/recent/RecentFilesMenu.h"
#include "player/settingsfile/PracticeSettingsCommands.h"
#include "ui/ResourcePaths.h"
#include "ui/ValueSlider.h"
#include "ui_MainWindow.h"
#include "visualisation/SpectrumView.h"

namespace {

constexpr int kPositionTickMs = 100;

QString patternsOf(const QStringList& fileTypes) {
    QStringList patterns;
    for (const QString& type : fileTypes) {
        patterns << QStringLiteral("*.") + type;
    }
    return patterns.join(QLatin1Char(' '));
}

TonveraAppDelegate::SaveChoice chooseSaveWithDialog(QWidget* parent, const QString& title,
                                                    const QString& proposedPath,
                                                    const QStringList& filters) {
    // Application-modal, not a sheet; the extension stays visible and any name is allowed.
    QString filter;
    QString path = QFileDialog::getSaveFileName(parent, title, proposedPath,
                                                filters.join(QStringLiteral(";;")), &filter);
    return {std::move(path), std::move(filter)};
}

QString chooseWithDialog(QWidget* parent, const QStringList& filters) {
    return QFileDialog::getOpenFileName(parent, QObject::tr("Open Music"), QString(),
                                        filters.join(QStringLiteral(";;")));
}

void showWindowModalMessage(QWidget* parent, const QString& text) {
    // Window-modal and not waiting: the caller (an open from a drop, a second start or a
    // settings file) goes on, and the window stays blocked until the user has read it.
    auto* box = new QMessageBox(QMessageBox::Warning, QCoreApplication::applicationName(), text,
                                QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->open();
}

}  // namespace

TonveraAppDelegate::TonveraAppDelegate(SoundEngine* engine, QObject* parent)
    : QObject(parent),
      window_(std::make_unique<QMainWindow>()),
      ui_(std::make_unique<Ui::MainWindow>()),
      soundEngine_(engine != nullptr ? engine : &SoundEngine::sharedSingleton()),
      fileChooser_(chooseWithDialog),
      messageShower_(showWindowModalMessage),
      saveChooser_(chooseSaveWithDialog),
      terminate_([] { QCoreApplication::quit(); }) {
    ui_->setupUi(window_.get());
    connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this,
            &TonveraAppDelegate::applicationWillTerminate);
    noMusicTitle_ = window_->windowTitle();
    noMusicFileText_ = ui_->labelFilename->text();
    noMusicTimeText_ = ui_->labelTime->text();
    // The desktop shows this beside the window (X11 takes it from the window itself).
    window_->setWindowIcon(QIcon::fromTheme(QStringLiteral("tonvera"),
                                            QIcon(resources::path(resources::kAppIconFormat))));
    setUpMetronomField();
    // The parts get the window as PlayerControls and the engine, never this controller.
    windowControls_ = std::make_unique<PlayerWindowControls>(*this, *ui_, *soundEngine_);
    practiceTools_ = std::make_unique<PracticeTools>(*windowControls_, *soundEngine_);
    addExportLoopItem();
    overview_ = std::make_unique<OverviewController>(*windowControls_, *soundEngine_);
    hearingTools_ = std::make_unique<HearingTools>(*windowControls_, *soundEngine_);
    recentFiles_ = std::make_unique<RecentFilesMenu>(
        ui_->menuFile, ui_->menuItemOpenFile, [this](const QString& path) { open(path); },
        [this](const QString& path) { practiceCommands_->openSettingsFile(path); });
    setPracticeSettingsDialogs(PracticeSettingsDialogs::forWindow(window_.get()));
    fileShower_ = [this](const QString& path) {
        // Made on first use: most runs never reach for the session bus.
        if (fileManager_ == nullptr) {
            fileManager_ = new FileManagerReveal(QDBusConnection::sessionBus(), this);
            fileManager_->setNotShown([this](const QString& shownPath) {
                tellUser(tr("The log file is %1").arg(QDir::toNativeSeparators(shownPath)));
            });
        }
        fileManager_->reveal(path);
    };
    // Space plays and pauses wherever the focus is in the window. Line edits claim printable
    // keys before shortcuts see them, so the number fields (which never need a blank) are
    // watched and let Space through to the shortcut.
    ui_->menuItemPlayPause->setShortcutContext(Qt::WindowShortcut);
    window_->addAction(ui_->menuItemPlayPause);
    // The practice keys work wherever the focus is, so every control of the window is watched
    // (menus are windows of their own and keep their keys).
    window_->installEventFilter(this);
    for (QWidget* widget : window_->findChildren<QWidget*>()) {
        if (qobject_cast<QMenu*>(widget) == nullptr) {
            widget->installEventFilter(this);
        }
    }
    updateTimer_.setInterval(kPositionTickMs);
    setPlayButtonImage(false);
    connectControls();
    connectParts();
}

TonveraAppDelegate::~TonveraAppDelegate() {
    // The window outlives this destructor's body; a close event it might still get must not reach
    // a half-destroyed controller.
    if (window_) {
        window_->removeEventFilter(this);
        // Nor may a field that loses the focus while the window goes (editingFinished) reach
        // handlers whose ui is already gone.
        for (QObject* child : window_->findChildren<QObject*>()) {
            child->removeEventFilter(this);
            QObject::disconnect(child, nullptr, this, nullptr);
        }
    }
}

const QStringList& TonveraAppDelegate::openFileTypes() {
    static const QStringList types{
        QStringLiteral("wav"), QStringLiteral("mp4"), QStringLiteral("m4a"), QStringLiteral("mp3"),
        QStringLiteral("mp1"), QStringLiteral("mp2"), QStringLiteral("ogg"), QStringLiteral("aif")};
    return types;
}

const QStringList& TonveraAppDelegate::allAudioFileTypes() {
    // FFmpeg recognises the content, not the name; these are the names such audio goes by.
    static const QStringList types = [] {
        QStringList all = openFileTypes();
        all << QStringLiteral("wave") << QStringLiteral("aiff") << QStringLiteral("aifc")
            << QStringLiteral("flac") << QStringLiteral("oga") << QStringLiteral("opus")
            << QStringLiteral("aac") << QStringLiteral("webm") << QStringLiteral("mka")
            << QStringLiteral("caf") << QStringLiteral("au") << QStringLiteral("wma")
            << QStringLiteral("ac3") << QStringLiteral("wv");
        return all;
    }();
    return types;
}

QStringList TonveraAppDelegate::openFileFilters() {
    return {tr("Music files (%1)").arg(patternsOf(openFileTypes())),
            tr("All audio files (%1)").arg(patternsOf(allAudioFileTypes())), tr("All files (*)")};
}

void TonveraAppDelegate::connectControls() {
    Ui::MainWindow& ui = *ui_;
    connect(ui.playButton, &QPushButton::clicked, this, &TonveraAppDelegate::clickedPlayButton);
    connect(ui.menuItemPlayPause, &QAction::triggered, this,
            &TonveraAppDelegate::clickedPlayButton);
    connect(ui.sliderTempo, &ValueSlider::userMoved, this, &TonveraAppDelegate::sliderTempoMoved);
    connect(ui.sliderPitch, &ValueSlider::userMoved, this, &TonveraAppDelegate::sliderPitchMoved);
    connect(ui.sliderRate, &ValueSlider::userMoved, this, &TonveraAppDelegate::sliderRateMoved);
    connect(ui.sliderVolume, &ValueSlider::userMoved, this, &TonveraAppDelegate::sliderVolumeMoved);
    connect(ui.sliderPosition, &ValueSlider::userMoved, this,
            &TonveraAppDelegate::sliderPositionMoved);
    connect(ui.labelTempo, &QLineEdit::editingFinished, this,
            &TonveraAppDelegate::textTempoChanged);
    connect(ui.labelPitch, &QLineEdit::editingFinished, this,
            &TonveraAppDelegate::textPitchChanged);
    connect(ui.labelRate, &QLineEdit::editingFinished, this, &TonveraAppDelegate::textRateChanged);
    connect(ui.menuItemOpenFile, &QAction::triggered, this, &TonveraAppDelegate::menuOpenFile);
    connect(ui.menuItemOpenLogFile, &QAction::triggered, this,
            &TonveraAppDelegate::menuOpenLogFile);
    connect(ui.menuItemAbout, &QAction::triggered, this, &TonveraAppDelegate::menuAbout);
    connect(ui.menuItemSettings, &QAction::triggered, this,
            &TonveraAppDelegate::menuClickedSettings);
    connect(ui.menuItemOpenSettingsFile, &QAction::triggered, this,
            &TonveraAppDelegate::menuOpenSettingsFile);
    connect(ui.menuItemSaveSettingsFile, &QAction::triggered, this,
            &TonveraAppDelegate::menuSaveSettingsFile);
    connect(ui.menuItemQuit, &QAction::triggered, window_.get(), &QWidget::close);
    connect(&updateTimer_, &QTimer::timeout, this, &TonveraAppDelegate::updatePositionSlider);
    connect(ui.menuItemExportAsWAV, &QAction::triggered, this,
            &TonveraAppDelegate::menuExportAsWAV);
}

void TonveraAppDelegate::applicationWillTerminate() {
    updateTimer_.stop();
    if (metronom_)
        metronom_->stop();
    soundEngine_->shutdown();
}

void TonveraAppDelegate::applicationDidFinishLaunching() {
    // The crash reporter's two deferred checks (one per address setting) show the main window
    // through showMainApplicationWindow(): at once when no crash report is pending, after its
    // dialog when one is. The addresses are configuration values; see CrashReportConfig.h.
    KTVarneskManager* crashReporter = KTVarneskManager::sharedVarneskManager();
    crashReporter->setSubmissionURL(crashconfig::scriptUrl());
    crashReporter->setCompanyName(QString::fromLatin1(crashconfig::kCompanyName));
    crashReporter->setDelegate(this);
    // Without an identifier the reports go to the script address, as a plain form field.
    if (const QString identifier = crashconfig::appIdentifier(); !identifier.isEmpty()) {
        crashReporter->setAppIdentifier(identifier);
    }

    updateTimer_.stop();
    console("BASS Version: %i", SoundEngine::versionString());

    // Without an output device the program still starts; the engine has logged why, and every
    // later open fails and is logged.
    soundEngine_->initialize();

    createMetronom();

    // The File menu's items keep the enabled state given to them: Qt never enables menu items
    // on its own, so there is nothing to switch off.

    ui_->menuItemExportAsWAV->setEnabled(true);
    console("enabling export menu");

    // The spectrum view reaches the engine through this controller's engine, and opens dropped
    // files through open().
    ui_->spectrumView->setEngine(soundEngine_);
    ui_->spectrumView->setFileOpener([this](const QString& path) { open(path); });

    // No control holds the keyboard focus at start; queued so that it runs after the window has
    // been shown and activated.
    QMetaObject::invokeMethod(this, &TonveraAppDelegate::clearKeyboardFocus, Qt::QueuedConnection);
}

void TonveraAppDelegate::clearKeyboardFocus() {
    // The central widget takes the focus (click focus only), so Qt does not hand it to the first
    // control in the tab chain when the window becomes active.
    ui_->centralWidget->setFocus(Qt::OtherFocusReason);
}

void TonveraAppDelegate::showMainApplicationWindow() {
    clearKeyboardFocus();
    window_->show();
    window_->raise();
    window_->activateWindow();
}

bool TonveraAppDelegate::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && practiceTools_) {
        // The window's own focus widget: the application's is null while the window is not
        // active, and a key a field passed on reaches its parents too.
        QWidget* focus = qobject_cast<QLineEdit*>(watched) != nullptr
                             ? static_cast<QWidget*>(watched)
                             : window_->focusWidget();
        if (practiceTools_->handleKey(*static_cast<QKeyEvent*>(event), focus)) {
            return true;
        }
    }
    if (event->type() == QEvent::ShortcutOverride && watched != window_.get()) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Space && key->modifiers() == Qt::NoModifier) {
            // Left unaccepted, so the play/pause shortcut takes the key instead of the field.
            event->ignore();
            return true;
        }
    }
    if (watched == window_.get() && event->type() == QEvent::Show) {
        // Queued, so a message sits on a window that is already on screen.
        QMetaObject::invokeMethod(this, &TonveraAppDelegate::showWaitingMessages,
                                  Qt::QueuedConnection);
    }
    if (watched == window_.get() && event->type() == QEvent::Close) {
        if (windowShouldClose(window_.get())) {
            event->accept();
        } else {
            event->ignore();
        }
        return !event->isAccepted();
    }
    return QObject::eventFilter(watched, event);
}

bool TonveraAppDelegate::windowShouldClose(QWidget* /*window*/) {
    if (terminate_) {
        terminate_();
    }
    return true;
}

bool TonveraAppDelegate::applicationOpenFile(const QString& path) {
    open(path);
    return true;
}

void TonveraAppDelegate::menuOpenLogFile() {
    const QString path = QString::fromStdString(Logger::sharedSingleton().path());
    if (path.isEmpty()) {
        console("menuOpenLogFile: no log file is open");
        QApplication::beep();
        return;
    }
    if (fileShower_) {
        fileShower_(path);
    }
}

void TonveraAppDelegate::menuAbout() {
    QMessageBox::about(
        window_.get(), tr("About Tonvera"),
        tr("<p><b>Tonvera</b> %1</p>"
           "<p>A music practice player: change tempo, pitch and playback rate independently, "
           "with a metronome.</p>"
           "<p>Licensed under the GNU General Public License, version 3 or later.</p>")
            .arg(QCoreApplication::applicationVersion()));
}

QString TonveraAppDelegate::getApplicationPath() {
    return resources::folder();
}

// ---- the window -------------------------------------------------------------------------------

QMainWindow* TonveraAppDelegate::window() const {
    return window_.get();
}
