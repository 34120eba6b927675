#include "player/PlayerPracticeControls.h"

#include <QCheckBox>
#include <QLineEdit>

#include "engine/SoundEngine.h"
#include "formats/PracticeSettings.h"
#include "metronome/Metronom.h"
#include "player/TonveraAppDelegate.h"
#include "player/practice/HearingTools.h"
#include "player/practice/MarkerTools.h"
#include "player/practice/PracticeTools.h"
#include "ui/ValueSlider.h"

PlayerPracticeControls::PlayerPracticeControls(TonveraAppDelegate& controller)
    : controller_(controller) {}

void PlayerPracticeControls::lockController() {
    controller_.controllerLock().lock();
}

void PlayerPracticeControls::unlockController() {
    controller_.controllerLock().unlock();
}

QString PlayerPracticeControls::musicFile() const {
    return QString::fromStdString(controller_.soundEngine().musicFile());
}

bool PlayerPracticeControls::openMusic(const QString& path) {
    controller_.open(path);
    return controller_.soundEngine().musicAvailable();
}

void PlayerPracticeControls::keepForNextMusic(const PracticeSettings& settings) {
    controller_.keepForNextMusic(settings.musicTempo, settings.musicPitch,
                                 settings.musicSamplerate);
}

ValueSlider* PlayerPracticeControls::slider(Slider which) const {
    switch (which) {
        case Slider::Volume:
            return controller_.sliderVolume();
        case Slider::Tempo:
            return controller_.sliderTempo();
        case Slider::Rate:
            return controller_.sliderRate();
        case Slider::Pitch:
            return controller_.sliderPitch();
        case Slider::MetronomVolume:
            return controller_.sliderMetronomVolume();
    }
    return nullptr;
}

QLineEdit* PlayerPracticeControls::field(ValueField which) const {
    switch (which) {
        case ValueField::Tempo:
            return controller_.labelTempo();
        case ValueField::Rate:
            return controller_.labelRate();
        case ValueField::Pitch:
            return controller_.labelPitch();
    }
    return nullptr;
}

float PlayerPracticeControls::sliderValue(Slider which) const {
    ValueSlider* s = slider(which);
    return s != nullptr ? s->floatValue() : 0.0F;
}

void PlayerPracticeControls::setSliderValue(Slider which, float value) {
    // Silent: a slider set from code sends no action, so the engine only gets what the settings
    // commands hand it explicitly, after every control holds its value.
    if (ValueSlider* s = slider(which)) {
        s->setFloatValue(value);
    }
}

void PlayerPracticeControls::setValueField(ValueField which, const QString& text) {
    if (QLineEdit* f = field(which)) {
        f->setText(text);
    }
}

void PlayerPracticeControls::setEngineVolume(float percent) {
    controller_.soundEngine().setVolume(percent);
}

void PlayerPracticeControls::setEngineTempo(float percent) {
    controller_.soundEngine().setTempo(percent);
}

void PlayerPracticeControls::setEnginePitch(float semitones) {
    controller_.soundEngine().setPitch(semitones);
}

void PlayerPracticeControls::setEngineSamplerate(float hz) {
    controller_.soundEngine().setSamplerate(hz);
}

QString PlayerPracticeControls::bpmFieldText() const {
    return controller_.labelMetronomBPM()->text();
}

void PlayerPracticeControls::setBpmFieldText(const QString& text) {
    // setText bypasses the field's validator on purpose: a stored 0 (a file without a beat rate)
    // shows as 0, and the next start refuses it.
    controller_.labelMetronomBPM()->setText(text);
}

bool PlayerPracticeControls::startWithMusic() const {
    return controller_.buttonMetronomStartWithMusic()->isChecked();
}

void PlayerPracticeControls::setStartWithMusic(bool ticked) {
    // The box's action is connected to clicked(), which setChecked() does not emit: the
    // metronome button keeps its enabled state and the metronome keeps running or stays stopped.
    controller_.buttonMetronomStartWithMusic()->setChecked(ticked);
}

QVariant PlayerPracticeControls::metronomNumberBPM() const {
    const Metronom* metronom = controller_.metronom();
    return metronom != nullptr ? metronom->numberBPM() : QVariant();
}

void PlayerPracticeControls::setMetronomNumberBPM(const QVariant& bpm) {
    if (Metronom* metronom = controller_.metronom()) {
        metronom->setNumberBPM(bpm);
    }
}

void PlayerPracticeControls::setMetronomVolume(float percent) {
    if (Metronom* metronom = controller_.metronom()) {
        metronom->setVolume(percent);
    }
}

void PlayerPracticeControls::collectPracticeTools(PracticeSettings& settings) const {
    const PracticeTools* tools = controller_.practiceTools();
    if (tools == nullptr)
        return;
    if (tools->loop().isSet())
        settings.loop = tools->loop();
    // A plan once started is kept, running or not; an untouched default is not written.
    if (tools->trainer().on || tools->trainer() != TrainerPlan{})
        settings.trainer = tools->trainer();
    if (tools->countIn() != CountIn{})
        settings.countIn = tools->countIn();
    if (!tools->markers().list().empty())
        settings.markers = tools->markers().list();
    if (const HearingTools* hearing = controller_.hearingTools()) {
        if (hearing->tuning() != 0.0F)
            settings.tuningCents = hearing->tuning();
        if (!hearing->hearing().neutral())
            settings.hearing = hearing->hearing();
    }
}

void PlayerPracticeControls::applyPracticeTools(const PracticeSettings& settings) {
    PracticeTools* tools = controller_.practiceTools();
    if (tools == nullptr)
        return;
    if (settings.markers)
        tools->markers().set(*settings.markers);
    // A file without the hearing keys plays the music as it sounds, as it did when saved.
    if (HearingTools* hearing = controller_.hearingTools())
        hearing->apply(settings.tuningCents.value_or(0.0F),
                       settings.hearing.value_or(formats::HearingSettings{}));
    if (!settings.loop && !settings.trainer && !settings.countIn)
        return;
    tools->apply(settings.loop.value_or(tools->loop()), settings.trainer.value_or(tools->trainer()),
                 settings.countIn.value_or(tools->countIn()));
}
