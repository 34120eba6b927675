// Keeps the song overview strip in step with the player: builds the overview of each music file
// that opens (from the cache folder when it was built before), shows the progress meanwhile, and
// draws the position, loop and markers on every position tick. A click on the strip moves the
// music there, and the window is told.
//
// Threads: main thread. The building runs on the builder's worker thread, which reads and writes
// the cache file itself; this object polls it from a timer of the main thread.
#ifndef TONVERA_PLAYER_OVERVIEW_OVERVIEWCONTROLLER_H
#define TONVERA_PLAYER_OVERVIEW_OVERVIEWCONTROLLER_H

#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>
#include <vector>

#include "formats/PracticeSetup.h"

class OverviewBuilder;
class PlayerControls;
class SongOverview;
class SoundEngine;

class OverviewController : public QObject {
    Q_OBJECT

  public:
    // Both must outlive this object; the strip goes into the window of `controls`, above the
    // position slider.
    OverviewController(PlayerControls& controls, SoundEngine& engine);
    ~OverviewController() override;

    void musicOpened(const QString& path);
    void noMusic();
    void tick();
    // The loop and the markers the strip draws while music is open.
    void setLoop(const LoopRange& loop) { loop_ = loop; }
    void setMarkers(const std::vector<Marker>& markers);

    SongOverview* view() const { return view_; }
    // True while an overview is being built.
    bool building() const { return builder_ != nullptr; }

    // The cache folder, and the file an overview of `path` (as it is now) is kept in.
    static QString cacheFolder();
    static QString cacheFile(const QString& path, QString* key);

  signals:
    // The strip moved the music: the window shows the new place now.
    void positionMoved();

  private:
    void poll();
    void seek(double seconds);
    void retire();

    SoundEngine& engine_;
    LoopRange loop_;
    std::vector<double> markers_;   // seconds
    SongOverview* view_ = nullptr;  // a child of the window (Qt owns it)
    std::unique_ptr<OverviewBuilder> builder_;
    // Builders of music no longer open, told to stop. Opening a file may take its decoder a
    // while (a container that must be scanned for its length), and the window must not wait for
    // that: they are dropped once they have finished.
    std::vector<std::unique_ptr<OverviewBuilder>> retired_;
    QTimer poll_;
};

#endif
