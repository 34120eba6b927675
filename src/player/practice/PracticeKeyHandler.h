// What the practice keys do: each key of practicekeys::actionFor acted on, wherever the focus is
// in the window, by the tool it belongs to. Tempo, pitch and rate keys change the engine and
// then say so, for the window's sound controls to show it.
//
// Threads: main thread only.
#ifndef TONVERA_PLAYER_PRACTICE_PRACTICEKEYHANDLER_H
#define TONVERA_PLAYER_PRACTICE_PRACTICEKEYHANDLER_H

#include <QObject>
#include <functional>

#include "player/practice/PracticeKeys.h"
#include "player/settingsfile/PracticeControls.h"

class LoopTool;
class MarkerTools;
class PlayerControls;
class QKeyEvent;
class QWidget;
class SoundEngine;

class PracticeKeyHandler : public QObject {
    Q_OBJECT

  public:
    // Moves the music to `seconds` and has the window show the new place.
    using Seek = std::function<void(double seconds)>;

    // All four must outlive this object.
    PracticeKeyHandler(PlayerControls& controls, SoundEngine& engine, LoopTool& loop,
                       MarkerTools& markers, Seek seek);
    ~PracticeKeyHandler() override;

    // A key pressed while `focus` (a widget of the window, or null) has the focus; true when it
    // was a practice key and has been acted on.
    bool handleKey(const QKeyEvent& key, QWidget* focus);
    void perform(PracticeAction action);

    // New music: the rate `0` brings back is its own.
    void musicOpened();

  signals:
    // The engine plays `value` for the sound control `slider` (tempo, pitch or rate), held as
    // that control holds it: the window shows it as the user's choice.
    void soundChosen(PracticeControls::Slider slider, float value);

  private:
    using Slider = PracticeControls::Slider;

    void seekBy(double seconds);
    // The control's value moved by `by` (or set to `to`), into the engine, and told.
    void changeSound(Slider slider, float by);
    void setSound(Slider slider, float to);
    void resetSound();
    void toggleMetronome();

    PlayerControls& controls_;
    SoundEngine& engine_;
    LoopTool& loop_;
    MarkerTools& markers_;
    Seek seek_;
    float nativeRate_ = 0.0F;
};

#endif
