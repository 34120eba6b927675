// The black panel under the player's controls: spectrum bars, a waveform per channel, or nothing,
// as the user's spectrum type says; also the place where an audio file is dropped to open it.
//
// Threads: every operation runs on the main thread (painting, the position tick, drag and drop).
// Two recursive locks keep the scope the controller relies on: dataLock() guards the held data
// and is taken by the position tick around updateData() and the redraw; the view's own lock is
// held while it draws. Lock order: the data lock before the view's lock, and the data lock before
// any lock the data source takes.
#ifndef TONVERA_VISUALISATION_SPECTRUMVIEW_H
#define TONVERA_VISUALISATION_SPECTRUMVIEW_H

#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <mutex>

#include "visualisation/SpectrumRenderer.h"
#include "visualisation/VisualDataSource.h"

class GlobalSettings;
class QMimeData;
class SoundEngine;

class SpectrumView : public QWidget {
    Q_OBJECT

  public:
    using FileOpener = std::function<void(const QString& path)>;

    // The arguments of every data fetch: 100 gives 50 spectrum bins and 100 frames of waveform,
    // 127 the top of the scale.
    static constexpr int kDataSize = 100;
    static constexpr int kDataHeight = 127;

    explicit SpectrumView(QWidget* parent = nullptr);
    ~SpectrumView() override;

    // The controller's open entry for dropped files; without one a drop opens nothing.
    void setFileOpener(FileOpener opener);
    // Fetch from this engine (it must outlive the view); nullptr means the shared engine.
    void setEngine(SoundEngine* engine);
    // Fetch from any source; nullptr means the shared engine.
    void setDataSource(std::unique_ptr<VisualDataSource> source);
    // Read the spectrum type from these settings (they must outlive the view); nullptr means
    // the shared settings.
    void setSettings(GlobalSettings* settings);

    std::recursive_mutex& dataLock() { return dataLock_; }
    // Replaces the held data with fresh data for the current spectrum type; the type "none" (or
    // an unknown type) leaves no data. Called by the position tick while music plays.
    void updateData();
    SpectrumData specData();
    void setSpecData(SpectrumData data);

    // Draws exactly what a repaint draws, as if the view had `frame`'s size.
    void renderTo(QPainter& painter, const QSize& frame);

    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    GlobalSettings& settings();
    VisualDataSource& dataSource();
    void takeDrop(const QMimeData& mime);

    std::recursive_mutex dataLock_;
    std::recursive_mutex viewLock_;
    SpectrumData specData_;
    std::unique_ptr<VisualDataSource> dataSource_;
    GlobalSettings* settings_ = nullptr;
    FileOpener opener_;
};

#endif
