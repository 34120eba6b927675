// What the player window offers the controllers of its parts (the practice tools, the hearing
// tools, the overview strip and the settings-file commands), which get it together with the
// engine and never see the window controller itself: a place for their rows, menus and dialogs,
// the user's messages, the metronome, the two requests the practice keys make of the window, and
// the settings-file surface (PracticeControls).
//
// A part changes the engine and then tells the window what changed (its own Qt signals, which
// the window controller connects); it never sets a window control and fires its action.
//
// Threads: every call comes on the main thread.
#ifndef TONVERA_PLAYER_PLAYERCONTROLS_H
#define TONVERA_PLAYER_PLAYERCONTROLS_H

#include <QString>

#include "player/settingsfile/PracticeControls.h"

class Metronom;
class QMainWindow;

class PlayerControls : public PracticeControls {
  public:
    // The window the parts put their rows and menus in and parent their dialogs on.
    virtual QMainWindow* window() const = 0;
    // A message to the user, window-modal; held until the window is on screen.
    virtual void tellUser(const QString& text) = 0;
    // The metronome; null before launch.
    virtual Metronom* metronom() const = 0;
    // The value `slider` would hold for `value`: within its range, on its steps. A part that
    // sets the engine to a value of a sound control sets it to this one, so that engine and
    // control agree once the window shows it.
    virtual float heldSliderValue(Slider slider, float value) const = 0;
    // Plays or pauses the music as the play button does (a chosen count-in included).
    virtual void playOrPause() = 0;
    // Switches the metronome as its button does; false (and nothing changes) while the button
    // is off because the metronome starts with the music.
    virtual bool toggleMetronome() = 0;
};

#endif
