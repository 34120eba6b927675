// The markers of the open music: added at the heard place, named, moved between with the keys,
// and made into the loop from one to the next.
//
// Threads: main thread only.
#ifndef TONVERA_PLAYER_PRACTICE_MARKERTOOLS_H
#define TONVERA_PLAYER_PRACTICE_MARKERTOOLS_H

#include <QObject>
#include <QPointer>
#include <functional>
#include <vector>

#include "formats/PracticeSetup.h"

class MarkerListWindow;
class SoundEngine;
class QBoxLayout;
class QMenu;
class QWidget;

class MarkerTools : public QObject {
    Q_OBJECT

  public:
    struct Actions {
        std::function<void(double seconds)> seek;
        std::function<void(const LoopRange& loop)> loop;
    };
    // `window` parents the list window; the engine tells the heard place. Both must outlive this.
    MarkerTools(SoundEngine& engine, QWidget* window, Actions actions);
    ~MarkerTools() override;

    // Add Marker and Markers… into `row` of the practice row `group`.
    void addControls(QWidget* group, QBoxLayout* row);
    void addMenuItems(QMenu* menu);

    void add();
    void next();
    void previous();
    // The loop from the marker the heard passage starts with to the next one.
    void loopToNext();
    void loopFrom(std::size_t index);
    void rename(std::size_t index, const QString& name);
    void remove(std::size_t index);
    void showList();

    const std::vector<Marker>& list() const { return markers_; }
    // A stored list (made fit to use), or none for music just opened.
    void set(std::vector<Marker> markers);
    MarkerListWindow* listWindow() const;

  signals:
    // The list is now `markers` (added, renamed, removed or replaced).
    void changed(const std::vector<Marker>& markers);

  private:
    void listChanged();

    SoundEngine& engine_;
    QWidget* window_;
    Actions actions_;
    std::vector<Marker> markers_;
    QPointer<MarkerListWindow> listWindow_;
};

#endif
