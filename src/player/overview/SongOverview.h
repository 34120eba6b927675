// The strip above the position slider with the whole song's waveform: the part played so far,
// the A-B loop and the markers drawn over it. A click or a drag on it asks to play from that
// point, to the fraction of a second the pointer stands on.
//
// Threads: main thread only; what it draws is handed over as values.
#ifndef TONVERA_PLAYER_OVERVIEW_SONGOVERVIEW_H
#define TONVERA_PLAYER_OVERVIEW_SONGOVERVIEW_H

#include <QWidget>
#include <memory>
#include <optional>
#include <vector>

#include "engine/OverviewPeaks.h"

class SongOverview : public QWidget {
    Q_OBJECT

  public:
    explicit SongOverview(QWidget* parent = nullptr);

    // What is known of the song; null while it is read or when nothing is open.
    void setPeaks(std::shared_ptr<const OverviewPeaks> peaks);
    // While the song is read: how far (0 … 1); nullopt once done.
    void setProgress(std::optional<float> progress);
    // Shown instead of a waveform, e.g. why the song could not be read. Empty: none.
    void setMessage(const QString& text);

    struct Marks {
        double length = 0.0;  // seconds of the song; 0 with no music
        double position = 0.0;
        double loopStart = 0.0;
        double loopEnd = 0.0;  // no loop when not after loopStart
        bool loopOn = false;
        std::vector<double> markers;
        bool operator==(const Marks&) const = default;
    };
    void setMarks(const Marks& marks);
    const Marks& marks() const { return marks_; }

    // The song's time under a point of the strip.
    double secondsAt(double x) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  signals:
    void seekRequested(double seconds);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    // The peaks of each pixel column, worked out once per width and song.
    void computeColumns();
    double xOf(double seconds) const;

    std::shared_ptr<const OverviewPeaks> peaks_;
    std::vector<float> columns_;  // column after column, one value per lane
    std::optional<float> progress_;
    QString message_;
    Marks marks_;
    bool dragging_ = false;
};

#endif
