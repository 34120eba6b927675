// The keys of the practice actions. They work wherever the focus is in the player window; a
// value field keeps the keys it needs to be typed in.
#ifndef TONVERA_PLAYER_PRACTICE_PRACTICEKEYS_H
#define TONVERA_PLAYER_PRACTICE_PRACTICEKEYS_H

#include <QString>
#include <Qt>
#include <optional>
#include <vector>

enum class PracticeAction {
    PlayPause,
    SeekBack5,
    SeekForward5,
    SeekBack1,
    SeekForward1,
    BackToStart,
    TempoDown1,
    TempoUp1,
    TempoDown5,
    TempoUp5,
    PitchDown,
    PitchUp,
    ResetSound,
    SetLoopStart,
    SetLoopEnd,
    ToggleLoop,
    NudgeBack10,
    NudgeForward10,
    NudgeBack100,
    NudgeForward100,
    ToggleMetronome,
    AddMarker,
    NextMarker,
    PreviousMarker,
    LoopToNextMarker,
};

namespace practicekeys {

// The action a key press asks for; nullopt for keys that are no practice key. Space is the play
// menu item's shortcut too: it comes here only where the shortcut did not take it (a window the
// desktop has not marked active).
std::optional<PracticeAction> actionFor(int key, Qt::KeyboardModifiers modifiers);

// Keys a number field keeps for itself: digits, signs, separators, Return and the editing keys
// (Backspace, Delete, the arrows across the text, Home and End), which would otherwise be
// lost for typing.
bool valueFieldKeeps(int key, Qt::KeyboardModifiers modifiers);

// Keys a slider with the focus keeps: the bare arrows step it.
bool sliderKeeps(int key, Qt::KeyboardModifiers modifiers);

struct ShortcutLine {
    QString keys;
    QString action;
};
// Every key of the player window with what it does, for the shortcuts window.
std::vector<ShortcutLine> shortcutList();

}  // namespace practicekeys

#endif
