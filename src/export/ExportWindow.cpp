#include "export/ExportWindow.h"

#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>

#include "engine/export/ExportProgress.h"
#include "export/ExportTimeLeft.h"
#include "logging/Console.h"
#include "ui_ExportWindow.h"

namespace {

// QProgressBar counts in int, which no byte count of a long export fits: the bar runs over a
// fixed number of steps instead, fine enough for its width and its percentage.
constexpr std::uint32_t kExportBarSteps = 10000;

}  // namespace

ExportWindow::ExportWindow(QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::ExportWindow>()) {
    ui_->setupUi(this);
    setWindowModality(Qt::WindowModal);
    connect(ui_->buttonBox, &QDialogButtonBox::rejected, this, &ExportWindow::reject);
}

ExportWindow::~ExportWindow() {
    if (worker_.joinable())
        worker_.join();
}

QString ExportWindow::outputPath() const {
    std::lock_guard lock(pathMutex_);
    return outputPath_;
}

void ExportWindow::setOutputPath(const QString& path) {
    {
        std::lock_guard lock(pathMutex_);
        outputPath_ = path;
    }
    ui_->labelExporting->setText(tr("Exporting “%1”…").arg(QFileInfo(path).fileName()));
}

QProgressBar* ExportWindow::pProgressBar() const {
    return ui_->pProgressBar;
}

void ExportWindow::windowDidLoad() {
    // Busy (moving) until the length is known.
    ui_->pProgressBar->setRange(0, 0);
    open();
    // Only now: the sheet exists before the worker could ask for its end.
    worker_ = std::thread([this] { exportThread(); });
}

void ExportWindow::exportThread() {
    bool succeeded = false;
    bool cancelled = false;
    QString failure;
    {
        std::lock_guard lock(lock_);
        exporter_.setDelegate(this);
        if (exporter_.prepare(settings_)) {
            exporter_.setRange(rangeStart_, rangeEnd_);
            succeeded = exporter_.exportTo(type(), outputPath().toStdString());
            cancelled = exporter_.wasCancelled();
        }
        failure = QString::fromStdString(exporter_.failure());
        exporter_.finish();
    }
    // Queued behind every progress request, so the bar shows its last value before the end.
    QMetaObject::invokeMethod(
        this, [this, succeeded, cancelled, failure] { endSheet(succeeded, cancelled, failure); },
        Qt::QueuedConnection);
    console("<---------------");
}

void ExportWindow::exportLength64(std::uint64_t length) {
    progressMaximum_.store(length);
    progressValue_.store(0);
    if (!progressRequested_.exchange(true))
        QMetaObject::invokeMethod(this, &ExportWindow::showProgress, Qt::QueuedConnection);
}

void ExportWindow::exportUpdate64(std::uint64_t position) {
    progressValue_.store(position);
    if (!progressRequested_.exchange(true))
        QMetaObject::invokeMethod(this, &ExportWindow::showProgress, Qt::QueuedConnection);
}

void ExportWindow::showProgress() {
    // Cleared before reading, so a value stored meanwhile asks again.
    progressRequested_.store(false);
    const std::uint64_t maximum = progressMaximum_.load();
    const std::uint64_t value = progressValue_.load();
    if (!exportprogress::lengthKnown(maximum)) {
        // No measure to show against: the bar stays busy.
        ui_->pProgressBar->setRange(0, 0);
        return;
    }
    ui_->pProgressBar->setRange(0, static_cast<int>(kExportBarSteps));
    ui_->pProgressBar->setValue(
        static_cast<int>(exportprogress::stepsDone(value, maximum, kExportBarSteps)));
    showTimeLeft(value, maximum);
}

void ExportWindow::showTimeLeft(std::uint64_t value, std::uint64_t maximum) {
    if (cancelling_ || ended_)
        return;
    if (!renderClock_.isValid())
        renderClock_.start();
    const double fraction =
        value >= maximum ? 1.0 : static_cast<double>(value) / static_cast<double>(maximum);
    const auto left =
        exporttimeleft::secondsLeft(static_cast<double>(renderClock_.elapsed()) / 1000.0, fraction);
    if (left)
        ui_->labelTimeLeft->setText(exporttimeleft::text(*left));
}

void ExportWindow::endSheet(bool succeeded, bool cancelled, const QString& failure) {
    if (ended_)
        return;
    ended_ = true;
    showProgress();
    emit sheetEnded(succeeded, cancelled, failure);
}

void ExportWindow::reject() {
    if (!running()) {
        QDialog::reject();
        return;
    }
    if (cancelling_)
        return;
    cancelling_ = true;
    // UI thread to worker: only the exporter's atomic flag (see the header comment).
    exporter_.cancel();
    ui_->buttonBox->setEnabled(false);
    ui_->labelTimeLeft->setText(tr("Cancelling…"));
}

void ExportWindow::closeEvent(QCloseEvent* event) {
    if (running()) {
        event->ignore();
        reject();
    } else {
        QDialog::closeEvent(event);
    }
}
