// The practice tools of the player window: the A-B loop (wrapped in the audio layer), the speed
// trainer that steps the tempo at the loop's seam, the count-in before the music, and the keys of
// every practice action. It builds its own row of controls and its menus in the window it is
// given, and drives the engine and the window's sound controls through the controller.
//
// Threads: main thread only. The engine calls it makes go to the audio layer, whose loop,
// trainer and beat schedules the audio thread reads lock-free; the trainer's tempo steps come
// back to this thread only through the engine's tempo, read on the position tick.
#ifndef TONVERA_PLAYER_PRACTICE_PRACTICETOOLS_H
#define TONVERA_PLAYER_PRACTICE_PRACTICETOOLS_H

#include <QObject>
#include <QPointer>
#include <memory>

#include "formats/PracticeSetup.h"
#include "player/practice/PracticeKeys.h"

class KeyboardShortcutsWindow;
class MarkerTools;
class QLineEdit;
class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QKeyEvent;
class QLabel;
class QPushButton;
class QToolButton;
class QWidget;
class SoundEngine;
class TonveraAppDelegate;

class PracticeTools : public QObject {
    Q_OBJECT

  public:
    // The controller must outlive this object; its window gets the practice row and menus here.
    explicit PracticeTools(TonveraAppDelegate& controller);
    ~PracticeTools() override;

    // A key pressed while `focus` (a widget of the window, or null) has the focus; true when it
    // was a practice key and has been acted on.
    bool handleKey(const QKeyEvent& key, QWidget* focus);
    void perform(PracticeAction action);

    // ---- hooks of the controller
    // New music is open: no loop or trainer of the old one carries over.
    void musicOpened();
    // The play button asked to start the music: true when this started it (after a count-in),
    // false when the controller should play it at once.
    bool startMusic();
    void musicPaused();
    // An export runs (its commands are off) or has ended.
    void exportRunning(bool running);
    // The position tick: the trainer's tempo and state shown.
    void tick();

    // ---- the loop
    void setLoopStart();
    void setLoopEnd();
    void setLoopOn(bool on);
    void clearLoop();
    // Sets the loop to `range`, on, and plays from its start.
    void loopBetween(const LoopRange& range);
    // Moves the loop end set last by `seconds` (negative: earlier).
    void nudge(double seconds);
    void backToStart();

    // ---- trainer and count-in
    void menuTrainer();
    void startTrainer(const TrainerPlan& plan);
    void stopTrainer();
    void setCountIn(const CountIn& countIn);
    void menuKeyboardShortcuts();

    // ---- the set-up, for the settings files
    LoopRange loop() const { return loop_; }
    TrainerPlan trainer() const { return trainer_; }
    CountIn countIn() const { return countIn_; }
    // A stored set-up applied to the music just opened; a running trainer starts again.
    void apply(const LoopRange& loop, const TrainerPlan& trainer, const CountIn& countIn);

    MarkerTools& markers() const { return *markers_; }

    // ---- outlets for tests and the window
    QGroupBox* group() const { return group_; }
    QLabel* loopLabel() const { return loopLabel_; }
    QLabel* trainerLabel() const { return trainerLabel_; }
    QLineEdit* loopStartField() const { return fieldA_; }
    QLineEdit* loopEndField() const { return fieldB_; }
    QLabel* positionSecondsLabel() const { return positionSeconds_; }
    QComboBox* countInBox() const { return countInBox_; }
    QComboBox* meterBox() const { return meterBox_; }
    QCheckBox* everyPassBox() const { return everyPassBox_; }
    QAction* shortcutsAction() const { return shortcutsAction_; }
    QAction* exportLoopAction() const { return exportLoopAction_; }
    QWidget* shortcutsWindow() const;

  private:
    void buildRow();
    void buildMenus();
    SoundEngine& engine() const;
    void seekBy(double seconds);
    void seekTo(double seconds);
    void changeTempo(float points);
    void changePitch(float semitones);
    void resetSound();
    void toggleMetronome();
    // Hands the loop to the engine and shows it on the slider and the label.
    void applyLoop();
    // Hands the count-in between passes to the engine (or takes it away).
    void applyPassCountIn();
    void showLoop();
    void showTrainer();
    // A typed loop end taken (or refused, and the field shows the end again).
    void typedLoopEnd(QLineEdit* field, bool isEnd);
    void showPositionSeconds();
    // The interval of the metronome's BPM field; nullopt when it holds no beat rate.
    std::optional<double> beatInterval() const;

    TonveraAppDelegate& controller_;
    LoopRange loop_;
    TrainerPlan trainer_;
    CountIn countIn_;
    bool nudgeEnd_ = false;  // the end set last: B when true
    double playStartedAt_ = 0.0;
    float nativeRate_ = 0.0F;
    // Count-in clicks waiting on the click channel (not the metronome's own beat).
    bool countInPending_ = false;

    // Children of the window (Qt owns them).
    QGroupBox* group_ = nullptr;
    QToolButton* buttonA_ = nullptr;
    QToolButton* buttonB_ = nullptr;
    QPushButton* buttonLoop_ = nullptr;
    QPushButton* buttonClear_ = nullptr;
    QPushButton* buttonTrainer_ = nullptr;
    QLabel* loopLabel_ = nullptr;
    QLineEdit* fieldA_ = nullptr;
    QLineEdit* fieldB_ = nullptr;
    QLabel* positionSeconds_ = nullptr;
    QLabel* trainerLabel_ = nullptr;
    QComboBox* countInBox_ = nullptr;
    QComboBox* meterBox_ = nullptr;
    QCheckBox* accentBox_ = nullptr;
    QCheckBox* everyPassBox_ = nullptr;
    QAction* loopAction_ = nullptr;
    QAction* exportLoopAction_ = nullptr;
    bool exporting_ = false;
    QAction* shortcutsAction_ = nullptr;
    QPointer<KeyboardShortcutsWindow> shortcutsWindow_;
    std::unique_ptr<MarkerTools> markers_;
};

#endif
