// The export sheet: a window-modal dialog (resources/ExportWindow.ui) over the main window whose
// progress bar follows one export, run by a worker thread through a SoundExporter, with the time
// still needed once it can be told, and a Cancel button.
//
// Threads: the dialog lives on the UI thread. The export's settings and range are set on the UI
// thread before the worker starts, which only reads them. The worker thread runs the exporter and
// calls exportLength64()/exportUpdate64() there; those only store the values in atomics and ask
// the UI thread, at most once at a time, to show the newest ones, so a fast export never floods
// the UI thread's queue. The end of the sheet is queued by the worker after finish(), behind
// every progress request, and the worker starts only once the sheet is shown, so it can never end
// a sheet that has not begun. Cancel, Escape and the close button call the exporter's cancel()
// from the UI thread, the one exporter call that crosses threads (it sets an atomic flag the
// worker reads between blocks); the exporter lives as long as the window, which joins the worker
// before it goes.
#ifndef TONVERA_EXPORT_EXPORTWINDOW_H
#define TONVERA_EXPORT_EXPORTWINDOW_H

#include <QDialog>
#include <QElapsedTimer>
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

    // Worker thread. The 32-bit reports are taken as whole values; the exporter sends the 64-bit
    // ones.
    void exportLength(std::uint32_t length) override { exportLength64(length); }
    void exportUpdate(std::uint32_t position) override { exportUpdate64(position); }
    void exportLength64(std::uint64_t length) override;
    void exportUpdate64(std::uint64_t position) override;

  signals:
    // UI thread, once: the worker has called finish(). `failure` is empty on success and after a
    // cancel, which removed everything the export wrote.
    void sheetEnded(bool succeeded, bool cancelled, const QString& failure);

  protected:
    // Escape and the close button stop a running export, as Cancel does; the sheet ends once the
    // worker has cleaned up.
    void reject() override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void exportThread();
    void showProgress();
    void showTimeLeft(std::uint64_t value, std::uint64_t maximum);
    void endSheet(bool succeeded, bool cancelled, const QString& failure);

    std::unique_ptr<Ui::ExportWindow> ui_;
    ExportSettings settings_;
    std::atomic<std::int32_t> type_{0};
    double rangeStart_ = 0.0;
    double rangeEnd_ = 0.0;
    mutable std::mutex pathMutex_;
    QString outputPath_;
    // Handed from the worker to the UI thread; see the header comment.
    std::atomic<std::uint64_t> progressMaximum_{0};
    std::atomic<std::uint64_t> progressValue_{0};
    std::atomic<bool> progressRequested_{false};
    // UI thread: since the first known length, for the time left.
    QElapsedTimer renderClock_;
    bool cancelling_ = false;
    bool ended_ = false;
    std::recursive_mutex lock_;
    // Run by the worker; see the header comment for the one call from the UI thread.
    SoundExporter exporter_;
    std::thread worker_;
};

#endif
