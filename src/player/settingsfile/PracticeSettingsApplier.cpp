#include "player/settingsfile/PracticeSettingsApplier.h"

#include "formats/NumberText.h"
#include "logging/Console.h"
#include "player/DisplayFormat.h"

using Slider = PracticeControls::Slider;
using ValueField = PracticeControls::ValueField;

PracticeSettings PracticeSettingsApplier::collect() {
    PracticeSettings s;
    const QString music = controls_.musicFile();
    if (!music.isEmpty()) {
        s.musicFile = music;
    }
    s.musicVolume = controls_.sliderValue(Slider::Volume);
    s.musicTempo = controls_.sliderValue(Slider::Tempo);
    s.musicSamplerate = controls_.sliderValue(Slider::Rate);
    s.musicPitch = controls_.sliderValue(Slider::Pitch);
    controls_.setMetronomNumberBPM(QVariant(numbertext::integerValue(controls_.bpmFieldText())));
    s.metronomBpm = controls_.metronomNumberBPM();
    s.metronomAutostart = controls_.startWithMusic() ? 1 : 0;
    s.metronomVolume = controls_.sliderValue(Slider::MetronomVolume);
    controls_.collectPracticeTools(s);
    return s;
}

void PracticeSettingsApplier::apply(const PracticeSettings& settings, bool overloadMusic) {
    const PracticeControlsLock lock(controls_);
    console("loading settings file");
    bool musicMissing = false;
    if (overloadMusic) {
        // The open resets the controls for the new file; everything below overrides that.
        musicMissing = !controls_.openMusic(settings.musicFile.value_or(QString()));
    }
    controls_.setSliderValue(Slider::Volume, settings.musicVolume);
    controls_.setSliderValue(Slider::Tempo, settings.musicTempo);
    controls_.setSliderValue(Slider::Rate, settings.musicSamplerate);
    controls_.setSliderValue(Slider::Pitch, settings.musicPitch);

    console("loading settings file: labels");
    controls_.setValueField(ValueField::Tempo,
                            display::formatNumber(controls_.sliderValue(Slider::Tempo)));
    controls_.setValueField(ValueField::Rate,
                            display::formatNumber(controls_.sliderValue(Slider::Rate)));
    controls_.setValueField(ValueField::Pitch,
                            display::formatNumber(controls_.sliderValue(Slider::Pitch)));

    console("loading settings file: soundengine");
    controls_.setEngineVolume(controls_.sliderValue(Slider::Volume));
    controls_.setEnginePitch(controls_.sliderValue(Slider::Pitch));
    controls_.setEngineTempo(controls_.sliderValue(Slider::Tempo));
    controls_.setEngineSamplerate(controls_.sliderValue(Slider::Rate));

    console("loading settings file: mentronom");
    controls_.setMetronomNumberBPM(settings.metronomBpm);
    controls_.setBpmFieldText(
        QString::number(numbertext::wholeNumberPart(controls_.metronomNumberBPM())));
    controls_.setStartWithMusic(settings.metronomAutostart != 0);
    controls_.setSliderValue(Slider::MetronomVolume, settings.metronomVolume);
    controls_.setMetronomVolume(controls_.sliderValue(Slider::MetronomVolume));
    if (!musicMissing) {
        controls_.applyPracticeTools(settings);
    }
    if (musicMissing) {
        // Without music the engine took none of it, and the rate slider still has the range of
        // whatever was open before: the stored set-up waits for the music the user opens next.
        controls_.keepForNextMusic(settings);
    }

    console("loading settings file: freeing space");
}
