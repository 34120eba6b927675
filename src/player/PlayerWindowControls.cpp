#include "player/PlayerWindowControls.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>

#include "engine/SoundEngine.h"
#include "formats/PracticeSettings.h"
#include "metronome/Metronom.h"
#include "player/TonveraAppDelegate.h"
#include "player/practice/HearingTools.h"
#include "player/practice/MarkerTools.h"
#include "player/practice/PracticeTools.h"
#include "ui/ValueSlider.h"
#include "ui_MainWindow.h"

PlayerWindowControls::PlayerWindowControls(TonveraAppDelegate& controller, Ui::MainWindow& ui,
                                           SoundEngine& engine)
    : controller_(controller), ui_(ui), engine_(engine) {}

QMainWindow* PlayerWindowControls::window() const {
    return controller_.window();
}

void PlayerWindowControls::tellUser(const QString& text) {
    controller_.tellUser(text);
}

Metronom* PlayerWindowControls::metronom() const {
    return controller_.metronom();
}

float PlayerWindowControls::heldSliderValue(Slider which, float value) const {
    const ValueSlider* s = slider(which);
    return s != nullptr ? s->heldValue(value) : value;
}

void PlayerWindowControls::playOrPause() {
    controller_.clickedPlayButton();
}

bool PlayerWindowControls::toggleMetronome() {
    // Off while the metronome starts with the music: then the box beside it rules.
    if (!ui_.buttonMetronomPlay->isEnabled()) {
        return false;
    }
    ui_.buttonMetronomPlay->click();
    return true;
}

void PlayerWindowControls::lockController() {
    controller_.controllerLock().lock();
}

void PlayerWindowControls::unlockController() {
    controller_.controllerLock().unlock();
}

QString PlayerWindowControls::musicFile() const {
    return QString::fromStdString(engine_.musicFile());
}

bool PlayerWindowControls::openMusic(const QString& path) {
    controller_.open(path);
    return engine_.musicAvailable();
}

void PlayerWindowControls::keepForNextMusic(const PracticeSettings& settings) {
    controller_.keepForNextMusic(settings.musicTempo, settings.musicPitch,
                                 settings.musicSamplerate);
}

ValueSlider* PlayerWindowControls::slider(Slider which) const {
    switch (which) {
        case Slider::Volume:
            return ui_.sliderVolume;
        case Slider::Tempo:
            return ui_.sliderTempo;
        case Slider::Rate:
            return ui_.sliderRate;
        case Slider::Pitch:
            return ui_.sliderPitch;
        case Slider::MetronomVolume:
            return ui_.sliderMetronomVolume;
    }
    return nullptr;
}

QLineEdit* PlayerWindowControls::field(ValueField which) const {
    switch (which) {
        case ValueField::Tempo:
            return ui_.labelTempo;
        case ValueField::Rate:
            return ui_.labelRate;
        case ValueField::Pitch:
            return ui_.labelPitch;
    }
    return nullptr;
}

float PlayerWindowControls::sliderValue(Slider which) const {
    ValueSlider* s = slider(which);
    return s != nullptr ? s->floatValue() : 0.0F;
}

void PlayerWindowControls::setSliderValue(Slider which, float value) {
    // Silent: a slider set from code sends no action, so the engine only gets what the settings
    // commands hand it explicitly, after every control holds its value.
    if (ValueSlider* s = slider(which)) {
        s->setFloatValue(value);
    }
}

void PlayerWindowControls::setValueField(ValueField which, const QString& text) {
    if (QLineEdit* f = field(which)) {
        f->setText(text);
    }
}

void PlayerWindowControls::setEngineVolume(float percent) {
    engine_.setVolume(percent);
}

void PlayerWindowControls::setEngineTempo(float percent) {
    engine_.setTempo(percent);
}

void PlayerWindowControls::setEnginePitch(float semitones) {
    engine_.setPitch(semitones);
}

void PlayerWindowControls::setEngineSamplerate(float hz) {
    engine_.setSamplerate(hz);
}

QString PlayerWindowControls::bpmFieldText() const {
    return ui_.labelMetronomBPM->text();
}

void PlayerWindowControls::setBpmFieldText(const QString& text) {
    // setText bypasses the field's validator on purpose: a stored 0 (a file without a beat rate)
    // shows as 0, and the next start refuses it.
    ui_.labelMetronomBPM->setText(text);
}

bool PlayerWindowControls::startWithMusic() const {
    return ui_.buttonMetronomStartWithMusic->isChecked();
}

void PlayerWindowControls::setStartWithMusic(bool ticked) {
    // The box's action is connected to clicked(), which setChecked() does not emit: the
    // metronome button keeps its enabled state and the metronome keeps running or stays stopped.
    ui_.buttonMetronomStartWithMusic->setChecked(ticked);
}

QVariant PlayerWindowControls::metronomNumberBPM() const {
    const Metronom* metronom = controller_.metronom();
    return metronom != nullptr ? metronom->numberBPM() : QVariant();
}

void PlayerWindowControls::setMetronomNumberBPM(const QVariant& bpm) {
    if (Metronom* metronom = controller_.metronom()) {
        metronom->setNumberBPM(bpm);
    }
}

void PlayerWindowControls::setMetronomVolume(float percent) {
    if (Metronom* metronom = controller_.metronom()) {
        metronom->setVolume(percent);
    }
}

void PlayerWindowControls::collectPracticeTools(PracticeSettings& settings) const {
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

void PlayerWindowControls::applyPracticeTools(const PracticeSettings& settings) {
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
