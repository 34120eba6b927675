// The export sheet: a window-modal dialog (resources/ExportWindow.ui) over the main window whose
// progress bar follows one export, run by a worker thread through a SoundExporter.
//
// Threads: the dialog lives on the UI thread. The export's settings and range are set on the UI
// thread before the worker starts, which only reads them. The worker thread runs the exporter and
// calls exportLength()/exportUpdate() there; those only store the values in atomics and ask the UI
// thread, at most once at a time, to show the newest ones, so a fast export never floods the
// UI thread's queue. The end of the sheet is queued by the worker after finish(), behind every
// progress request, and the worker starts only once the sheet is shown, so it can never end a
// sheet that has not begun.
#ifndef TONVERA_EXPORT_EXPORTWINDOW_H
#define TONVERA_EXPORT_EXPORTWINDOW_H

#include <QDialog>
#include <QString>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

#include "engine/export/SoundExportProtocol.h"
#include "engine/export/SoundExporter.h"

class QProgressBar;
namespace Ui {
class ExportWindow;
}

class ExportWindow : public QDialog, public SoundExportProtocol {
    Q_OBJECT

  public:
    explicit ExportWindow(QWidget* parent);
    // Waits for the worker, which has nothing left to do once the sheet has ended.
    ~ExportWindow() override;

    std::int32_t type() const { return type_.load(); }
    void setType(std::int32_t type) { type_.store(type); }
    QString outputPath() const;
    void setOutputPath(const QString& path);
    QProgressBar* pProgressBar() const;
    // The music and the values it plays with, copied from the engine by the caller; set before
    // windowDidLoad(), which starts the worker that reads it.
    void setSettings(ExportSettings settings) { settings_ = std::move(settings); }
    // Only this span of the music, in seconds (an A-B loop); set before windowDidLoad(), which
    // starts the worker that reads it.
    void setRange(double start, double end) {
        rangeStart_ = start;
        rangeEnd_ = end;
    }

    // Shows the sheet on its parent window and then starts the worker.
    void windowDidLoad();
    bool running() const { return worker_.joinable() && !ended_; }

    // Worker thread.
    void exportLength(std::uint32_t length) override;
    void exportUpdate(std::uint32_t position) override;

  signals:
    // UI thread, once: the worker has called finish(). `failure` is empty on success.
    void sheetEnded(bool succeeded, const QString& failure);

  protected:
    // There is no cancelling a running export: Escape and the close button do nothing.
    void reject() override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void exportThread();
    void showProgress();
    void endSheet(bool succeeded, const QString& failure);

    std::unique_ptr<Ui::ExportWindow> ui_;
    ExportSettings settings_;
    std::atomic<std::int32_t> type_{0};
    double rangeStart_ = 0.0;
    double rangeEnd_ = 0.0;
    mutable std::mutex pathMutex_;
    QString outputPath_;
    // Handed from the worker to the UI thread; see the header comment.
    std::atomic<std::uint32_t> progressMaximum_{0};
    std::atomic<std::uint32_t> progressValue_{0};
    std::atomic<bool> progressRequested_{false};
    bool ended_ = false;
    std::recursive_mutex lock_;
    std::thread worker_;
};

#endif
