#include "player/practice/PracticeKeyHandler.h"

#include <QAbstractSlider>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>

#include "engine/SoundEngine.h"
#include "player/PlayerControls.h"
#include "player/practice/LoopTool.h"
#include "player/practice/MarkerTools.h"

PracticeKeyHandler::PracticeKeyHandler(PlayerControls& controls, SoundEngine& engine,
                                       LoopTool& loop, MarkerTools& markers, Seek seek)
    : QObject(nullptr),
      controls_(controls),
      engine_(engine),
      loop_(loop),
      markers_(markers),
      seek_(std::move(seek)) {}

PracticeKeyHandler::~PracticeKeyHandler() = default;

bool PracticeKeyHandler::handleKey(const QKeyEvent& key, QWidget* focus) {
    const auto modifiers = key.modifiers();
    if (qobject_cast<QLineEdit*>(focus) != nullptr &&
        practicekeys::valueFieldKeeps(key.key(), modifiers)) {
        return false;
    }
    // A slider the user has given the focus moves with the bare arrows, as sliders do.
    if (qobject_cast<QAbstractSlider*>(focus) != nullptr &&
        practicekeys::sliderKeeps(key.key(), modifiers)) {
        return false;
    }
    const std::optional<PracticeAction> action = practicekeys::actionFor(key.key(), modifiers);
    if (!action) {
        return false;
    }
    perform(*action);
    return true;
}

void PracticeKeyHandler::perform(PracticeAction action) {
    using A = PracticeAction;
    switch (action) {
        case A::PlayPause:
            controls_.playOrPause();
            break;
        case A::SeekBack5:
            seekBy(-5.0);
            break;
        case A::SeekForward5:
            seekBy(5.0);
            break;
        case A::SeekBack1:
            seekBy(-1.0);
            break;
        case A::SeekForward1:
            seekBy(1.0);
            break;
        case A::BackToStart:
            loop_.backToStart();
            break;
        case A::TempoDown1:
            changeSound(Slider::Tempo, -1.0F);
            break;
        case A::TempoUp1:
            changeSound(Slider::Tempo, 1.0F);
            break;
        case A::TempoDown5:
            changeSound(Slider::Tempo, -5.0F);
            break;
        case A::TempoUp5:
            changeSound(Slider::Tempo, 5.0F);
            break;
        case A::PitchDown:
            changeSound(Slider::Pitch, -1.0F);
            break;
        case A::PitchUp:
            changeSound(Slider::Pitch, 1.0F);
            break;
        case A::ResetSound:
            resetSound();
            break;
        case A::SetLoopStart:
            loop_.setStart();
            break;
        case A::SetLoopEnd:
            loop_.setEnd();
            break;
        case A::ToggleLoop:
            loop_.toggle();
            break;
        case A::NudgeBack10:
            loop_.nudge(-0.010);
            break;
        case A::NudgeForward10:
            loop_.nudge(0.010);
            break;
        case A::NudgeBack100:
            loop_.nudge(-0.100);
            break;
        case A::NudgeForward100:
            loop_.nudge(0.100);
            break;
        case A::ToggleMetronome:
            toggleMetronome();
            break;
        case A::AddMarker:
            markers_.add();
            break;
        case A::NextMarker:
            markers_.next();
            break;
        case A::PreviousMarker:
            markers_.previous();
            break;
        case A::LoopToNextMarker:
            markers_.loopToNext();
            break;
    }
}

void PracticeKeyHandler::musicOpened() {
    nativeRate_ = engine_.samplerate();
}

void PracticeKeyHandler::seekBy(double seconds) {
    seek_(engine_.positionSeconds() + seconds);
}

void PracticeKeyHandler::changeSound(Slider slider, float by) {
    // From what the control shows: without music the engine holds nothing to step from.
    setSound(slider, controls_.sliderValue(slider) + by);
}

void PracticeKeyHandler::setSound(Slider slider, float to) {
    const float value = controls_.heldSliderValue(slider, to);
    switch (slider) {
        case Slider::Tempo:
            engine_.setTempo(value);
            break;
        case Slider::Pitch:
            engine_.setPitch(value);
            break;
        case Slider::Rate:
            engine_.setSamplerate(value);
            break;
        case Slider::Volume:
        case Slider::MetronomVolume:
            return;  // no key changes them
    }
    emit soundChosen(slider, value);
}

void PracticeKeyHandler::resetSound() {
    setSound(Slider::Tempo, 0.0F);
    setSound(Slider::Pitch, 0.0F);
    if (nativeRate_ > 0.0F) {
        setSound(Slider::Rate, nativeRate_);
    }
}

void PracticeKeyHandler::toggleMetronome() {
    if (!controls_.toggleMetronome()) {
        // Started with the music: the box next to it rules.
        QApplication::beep();
    }
}
