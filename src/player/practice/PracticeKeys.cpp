#include "player/practice/PracticeKeys.h"

#include <QCoreApplication>

namespace practicekeys {

namespace {

// The keypad's flag tells nothing here: its minus and plus mean what the main keys mean.
Qt::KeyboardModifiers significant(Qt::KeyboardModifiers modifiers) {
    return modifiers &
           (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
}

QString tr(const char* text) {
    return QCoreApplication::translate("PracticeKeys", text);
}

}  // namespace

std::optional<PracticeAction> actionFor(int key, Qt::KeyboardModifiers modifiers) {
    const Qt::KeyboardModifiers mods = significant(modifiers);
    const bool none = mods == Qt::NoModifier;
    const bool shift = mods == Qt::ShiftModifier;
    const bool ctrl = mods == Qt::ControlModifier;
    const bool ctrlShift = mods == (Qt::ControlModifier | Qt::ShiftModifier);
    using A = PracticeAction;
    switch (key) {
        case Qt::Key_Space:
            if (none)
                return A::PlayPause;
            break;
        case Qt::Key_Left:
            if (none)
                return A::SeekBack5;
            if (shift)
                return A::SeekBack1;
            break;
        case Qt::Key_Right:
            if (none)
                return A::SeekForward5;
            if (shift)
                return A::SeekForward1;
            break;
        case Qt::Key_Up:
            if (ctrl)
                return A::PitchUp;
            if (shift)
                return A::NudgeForward10;
            if (ctrlShift)
                return A::NudgeForward100;
            break;
        case Qt::Key_Down:
            if (ctrl)
                return A::PitchDown;
            if (shift)
                return A::NudgeBack10;
            if (ctrlShift)
                return A::NudgeBack100;
            break;
        case Qt::Key_Backspace:
        case Qt::Key_Home:
            if (none)
                return A::BackToStart;
            break;
        // A US keyboard types "+" as Shift with "=", and "_" as Shift with "-": Shift on either
        // key means five points, the bare key one.
        case Qt::Key_Minus:
            if (none)
                return A::TempoDown1;
            if (shift)
                return A::TempoDown5;
            break;
        case Qt::Key_Underscore:
            if (none || shift)
                return A::TempoDown5;
            break;
        case Qt::Key_Equal:
        case Qt::Key_Plus:
            if (none)
                return A::TempoUp1;
            if (shift)
                return A::TempoUp5;
            break;
        case Qt::Key_Comma:
        case Qt::Key_Less:
            if (none || (key == Qt::Key_Less && shift))
                return A::PitchDown;
            break;
        case Qt::Key_Period:
        case Qt::Key_Greater:
            if (none || (key == Qt::Key_Greater && shift))
                return A::PitchUp;
            break;
        case Qt::Key_0:
            if (none)
                return A::ResetSound;
            break;
        case Qt::Key_BracketLeft:
            if (none)
                return A::SetLoopStart;
            break;
        case Qt::Key_BracketRight:
            if (none)
                return A::SetLoopEnd;
            break;
        case Qt::Key_L:
            if (none)
                return A::ToggleLoop;
            if (shift)
                return A::LoopToNextMarker;
            break;
        case Qt::Key_M:
            if (none)
                return A::ToggleMetronome;
            if (ctrl)
                return A::AddMarker;
            break;
        case Qt::Key_PageDown:
            if (none)
                return A::NextMarker;
            break;
        case Qt::Key_PageUp:
            if (none)
                return A::PreviousMarker;
            break;
        default:
            break;
    }
    return std::nullopt;
}

bool valueFieldKeeps(int key, Qt::KeyboardModifiers modifiers) {
    const Qt::KeyboardModifiers mods = significant(modifiers);
    if (mods != Qt::NoModifier && mods != Qt::ShiftModifier)
        return false;
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        return true;
    switch (key) {
        case Qt::Key_Minus:
        case Qt::Key_Plus:
        case Qt::Key_Comma:
        case Qt::Key_Period:
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Backspace:
        case Qt::Key_Delete:
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Home:
        case Qt::Key_End:
            return true;
        default:
            return false;
    }
}

bool sliderKeeps(int key, Qt::KeyboardModifiers modifiers) {
    if (significant(modifiers) != Qt::NoModifier)
        return false;
    return key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Up || key == Qt::Key_Down;
}

std::vector<ShortcutLine> shortcutList() {
    return {
        {tr("Space"), tr("Play / pause")},
        {tr("Left / Right"), tr("Back / forward 5 seconds")},
        {tr("Shift+Left / Shift+Right"), tr("Back / forward 1 second")},
        {tr("Backspace or Home"), tr("Back to the loop start, or to where play last started")},
        {tr("- / ="), tr("Tempo -1 % / +1 %")},
        {tr("Shift+- / Shift+= (+)"), tr("Tempo -5 % / +5 %")},
        {tr(", / .  or  Ctrl+Down / Ctrl+Up"), tr("Pitch -1 / +1 semitone")},
        {tr("0"), tr("Reset tempo, pitch and rate")},
        {tr("["), tr("Set loop start (A) here")},
        {tr("]"), tr("Set loop end (B) here")},
        {tr("L"), tr("Loop on / off")},
        {tr("Shift+Down / Shift+Up"), tr("Move the last set loop end 10 ms earlier / later")},
        {tr("Ctrl+Shift+Down / Ctrl+Shift+Up"),
         tr("Move the last set loop end 100 ms earlier / later")},
        {tr("M"), tr("Metronome on / off")},
        {tr("Ctrl+M"), tr("Add a marker here")},
        {tr("PgDn / PgUp"), tr("Next / previous marker")},
        {tr("Shift+L"), tr("Loop from the marker here to the next one")},
        {tr("Ctrl+O"), tr("Open music")},
        {tr("Ctrl+Shift+O / Ctrl+S"), tr("Open / save a practice settings file")},
        {tr("Ctrl+E"), tr("Export the altered music")},
        {tr("Escape"), tr("Cancel a running export")},
        {tr("Ctrl+L"), tr("Show the log file")},
        {tr("Ctrl+,"), tr("Settings")},
        {tr("F1"), tr("This list of keys")},
        {tr("Ctrl+Q"), tr("Quit")},
    };
}

}  // namespace practicekeys
