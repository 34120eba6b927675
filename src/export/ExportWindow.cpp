#include "export/ExportWindow.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QProgressBar>

#include "logging/Console.h"
#include "ui_ExportWindow.h"

namespace {

// QProgressBar counts in int; byte counts of long exports do not fit, so both are scaled.
int scaled(std::uint32_t value) {
    return static_cast<int>(value >> 1);
}

}  // namespace

ExportWindow::ExportWindow(QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::ExportWindow>()) {
    ui_->setupUi(this);
    setWindowModality(Qt::WindowModal);
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
    QString failure;
    {
        std::lock_guard lock(lock_);
        SoundExporter exporter;
        exporter.setDelegate(this);
        if (exporter.prepare(settings_)) {
            exporter.setRange(rangeStart_, rangeEnd_);
            succeeded = exporter.exportTo(type(), outputPath().toStdString());
        }
        failure = QString::fromStdString(exporter.failure());
        exporter.finish();
    }
    // Queued behind every progress request, so the bar shows its last value before the end.
    QMetaObject::invokeMethod(
        this, [this, succeeded, failure] { endSheet(succeeded, failure); }, Qt::QueuedConnection);
    console("<---------------");
}

void ExportWindow::exportLength(std::uint32_t length) {
    progressMaximum_.store(length);
    progressValue_.store(0);
    if (!progressRequested_.exchange(true))
        QMetaObject::invokeMethod(this, &ExportWindow::showProgress, Qt::QueuedConnection);
}

void ExportWindow::exportUpdate(std::uint32_t position) {
    progressValue_.store(position);
    if (!progressRequested_.exchange(true))
        QMetaObject::invokeMethod(this, &ExportWindow::showProgress, Qt::QueuedConnection);
}

void ExportWindow::showProgress() {
    // Cleared before reading, so a value stored meanwhile asks again.
    progressRequested_.store(false);
    const std::uint32_t maximum = progressMaximum_.load();
    const std::uint32_t value = std::min(progressValue_.load(), maximum);
    ui_->pProgressBar->setRange(0, scaled(maximum));
    ui_->pProgressBar->setValue(scaled(value));
}

void ExportWindow::endSheet(bool succeeded, const QString& failure) {
    if (ended_)
        return;
    ended_ = true;
    showProgress();
    emit sheetEnded(succeeded, failure);
}

void ExportWindow::reject() {
    if (!running())
        QDialog::reject();
}

void ExportWindow::closeEvent(QCloseEvent* event) {
    if (running())
        event->ignore();
    else
        QDialog::closeEvent(event);
}
