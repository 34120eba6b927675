// The A-B loop of the practice row: its ends set at the heard place, nudged or typed in seconds,
// switched on and off and cleared, wrapped seamlessly inside the audio layer. It builds its own
// controls and menu items and tells whoever listens what the loop has become.
//
// Threads: main thread only. The engine hands the loop to the audio layer, which the audio
// thread reads lock-free.
#ifndef TONVERA_PLAYER_PRACTICE_LOOPTOOL_H
#define TONVERA_PLAYER_PRACTICE_LOOPTOOL_H

#include <QObject>
#include <functional>

#include "formats/PracticeSetup.h"

class QAction;
class QBoxLayout;
class QLabel;
class QLineEdit;
class QMainWindow;
class QMenu;
class QPushButton;
class QToolButton;
class QWidget;
class SoundEngine;

class LoopTool : public QObject {
    Q_OBJECT

  public:
    // Moves the music to `seconds` and has the window show the new place.
    using Seek = std::function<void(double seconds)>;

    // The engine must outlive this object.
    LoopTool(SoundEngine& engine, Seek seek);
    ~LoopTool() override;

    // The loop's buttons, label and fields into `row` of the practice row `group`.
    void addControls(QWidget* group, QBoxLayout* row);
    // The position in seconds beside the window's time display.
    void addPositionSeconds(QMainWindow* window);
    void addMenuItems(QMenu* menu);

    LoopRange loop() const { return loop_; }

    void setStart();
    void setEnd();
    void setOn(bool on);
    void toggle() { setOn(!loop_.on); }
    void clear();
    // Sets the loop to `range`, on, and plays from its start.
    void loopBetween(const LoopRange& range);
    // Moves the end set last by `seconds` (negative: earlier).
    void nudge(double seconds);
    // To the loop's start while it plays, else to where play last started.
    void backToStart();
    // Play starts here: backToStart() comes back to it.
    void playStarted();
    // The loop on and the music at its start, as a trainer starting on it wants.
    void playFromStart();
    // A stored loop, as it is (no seek).
    void set(const LoopRange& loop);
    // New music: no loop of the old one carries over.
    void musicOpened();
    // The position tick.
    void showPositionSeconds();

    QLineEdit* endField() const { return fieldB_; }
    QLabel* positionSecondsLabel() const { return positionSeconds_; }

  signals:
    // The loop is about to be cleared; what runs on it stops first.
    void aboutToClear();
    // The engine has the loop; it holds no loop when `loop` is not on or not set.
    void changed(const LoopRange& loop);

  private:
    // Hands the loop to the engine, shows it, and says so.
    void apply();
    void show();
    // A typed loop end taken (or refused, and the field shows the end again).
    void typedEnd(QLineEdit* field, bool isEnd);

    SoundEngine& engine_;
    Seek seek_;
    LoopRange loop_;
    bool nudgeEnd_ = false;  // the end set last: B when true
    double playStartedAt_ = 0.0;

    // Children of the window (Qt owns them).
    QToolButton* buttonA_ = nullptr;
    QToolButton* buttonB_ = nullptr;
    QPushButton* buttonLoop_ = nullptr;
    QPushButton* buttonClear_ = nullptr;
    QLabel* loopLabel_ = nullptr;
    QLineEdit* fieldA_ = nullptr;
    QLineEdit* fieldB_ = nullptr;
    QLabel* positionSeconds_ = nullptr;
    QAction* loopAction_ = nullptr;
};

#endif
