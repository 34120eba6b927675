// The speed trainer of the practice row: on a loop, the tempo starts slow and moves by a step at
// the loop's seam every so many passes until it reaches its target. The stepping happens inside
// the audio layer; this shows where the plan stands and tells the window the tempo it hears.
//
// Threads: main thread only. The engine hands the plan to the audio layer, which steps the tempo
// on the audio thread; the steps come back here only through the engine's tempo, read on the
// position tick.
#ifndef TONVERA_PLAYER_PRACTICE_SPEEDTRAINER_H
#define TONVERA_PLAYER_PRACTICE_SPEEDTRAINER_H

#include <QObject>

#include "formats/PracticeSetup.h"

class LoopTool;
class PlayerControls;
class QBoxLayout;
class QLabel;
class QMenu;
class QPushButton;
class QWidget;
class SoundEngine;

class SpeedTrainer : public QObject {
    Q_OBJECT

  public:
    // All three must outlive this object; the trainer runs on `loop`.
    SpeedTrainer(PlayerControls& controls, SoundEngine& engine, LoopTool& loop);
    ~SpeedTrainer() override;

    void addControls(QWidget* group, QBoxLayout* row);
    void addMenuItem(QMenu* menu);

    TrainerPlan plan() const { return plan_; }
    // The dialog: start, stop or leave the plan.
    void menuTrainer();
    // The plan from its start tempo, on the loop from its start; refused without a loop.
    void start(const TrainerPlan& plan);
    void stop();
    // A stored plan that does not run.
    void keep(const TrainerPlan& plan);

    // The loop changed: a running plan counts its passes afresh, from the tempo it reached.
    void loopChanged(const LoopRange& loop);
    // New music: the plan stays, but does not run.
    void musicOpened();
    // The position tick: the tempo heard and where the plan stands.
    void tick();

  signals:
    // The plan's start tempo is in the engine: the window shows it as the user's choice.
    void tempoChosen(float percent);
    // The audio layer moved the tempo: the window's tempo controls follow what is heard.
    void tempoHeard(float percent);

  private:
    void show();

    PlayerControls& controls_;
    SoundEngine& engine_;
    LoopTool& loop_;
    TrainerPlan plan_;
    // The tempo last told as heard, so a tick tells only a change.
    float toldTempo_ = 0.0F;

    // Children of the window (Qt owns them).
    QPushButton* button_ = nullptr;
    QLabel* label_ = nullptr;
};

#endif
