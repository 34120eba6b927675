// The practice tools of the player window, put together: the A-B loop, the speed trainer on it,
// the count-in, the markers and the practice keys. It builds the practice row and the Practice
// and Help menus in the window, hands each tool what it needs of the others, and tells the
// window (through its signals) what the tools have changed in the engine.
//
// Threads: main thread only. The engine calls the tools make go to the audio layer, whose loop,
// trainer and beat schedules the audio thread reads lock-free; the trainer's tempo steps come
// back to this thread only through the engine's tempo, read on the position tick.
#ifndef TONVERA_PLAYER_PRACTICE_PRACTICETOOLS_H
#define TONVERA_PLAYER_PRACTICE_PRACTICETOOLS_H

#include <QObject>
#include <QPointer>
#include <memory>
#include <vector>

#include "formats/PracticeSetup.h"
#include "player/practice/PracticeKeys.h"
#include "player/settingsfile/PracticeControls.h"

class CountInTool;
class KeyboardShortcutsWindow;
class LoopTool;
class MarkerTools;
class PlayerControls;
class PracticeKeyHandler;
class QAction;
class QCheckBox;
class QComboBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QWidget;
class SoundEngine;
class SpeedTrainer;

class PracticeTools : public QObject {
    Q_OBJECT

  public:
    // Both must outlive this object; the window of `controls` gets the practice row and menus.
    PracticeTools(PlayerControls& controls, SoundEngine& engine);
    ~PracticeTools() override;

    // A key pressed while `focus` (a widget of the window, or null) has the focus; true when it
    // was a practice key and has been acted on.
    bool handleKey(const QKeyEvent& key, QWidget* focus);
    void perform(PracticeAction action);

    // ---- hooks of the window
    // New music is open: no loop or trainer of the old one carries over.
    void musicOpened();
    // The play button asked to start the music: true when this started it (after a count-in),
    // false when the window should play it at once.
    bool startMusic();
    void musicPaused();
    // The position tick: the trainer's tempo and state shown.
    void tick();

    // ---- the set-up, for the settings files
    LoopRange loop() const;
    TrainerPlan trainer() const;
    CountIn countIn() const;
    // A stored set-up applied to the music just opened; a running trainer starts again.
    void apply(const LoopRange& loop, const TrainerPlan& trainer, const CountIn& countIn);

    MarkerTools& markers() const { return *markers_; }
    void menuKeyboardShortcuts();

    // ---- outlets for tests
    QLineEdit* loopEndField() const;
    QLabel* positionSecondsLabel() const;
    QComboBox* countInBox() const;
    QComboBox* meterBox() const;
    QCheckBox* everyPassBox() const;
    QWidget* shortcutsWindow() const;

  signals:
    // A tool set the engine's tempo, pitch or rate (`slider` names the control) to `value` as
    // the user's choice: the window shows it.
    void soundChosen(PracticeControls::Slider slider, float value);
    // The trainer moved the tempo inside the audio layer: the tempo controls follow it.
    void tempoHeard(float percent);
    // A tool moved the music: the window shows the new place now, not at its next tick.
    void positionMoved();
    void loopChanged(const LoopRange& loop);
    void markersChanged(const std::vector<Marker>& markers);

  private:
    void buildRow();
    void buildMenus();
    void connectTools();
    // Moves the music to `seconds`, held inside the song.
    void seekTo(double seconds);

    PlayerControls& controls_;
    SoundEngine& engine_;
    std::unique_ptr<LoopTool> loop_;
    std::unique_ptr<SpeedTrainer> trainer_;
    std::unique_ptr<CountInTool> countIn_;
    std::unique_ptr<MarkerTools> markers_;
    std::unique_ptr<PracticeKeyHandler> keys_;
    QPointer<KeyboardShortcutsWindow> shortcutsWindow_;
};

#endif
