// The player window as the practice settings commands see it: the controller's sliders, value
// fields, metronome controls, engine and lock behind the PracticeControls interface. It holds the
// controller and nothing else, so the controller itself stays free of the settings file's needs.
//
// Threads: main thread only, like the controller.
#ifndef TONVERA_PLAYER_PLAYERPRACTICECONTROLS_H
#define TONVERA_PLAYER_PLAYERPRACTICECONTROLS_H

#include "player/settingsfile/PracticeControls.h"

class TonveraAppDelegate;
class ValueSlider;
class QLineEdit;

class PlayerPracticeControls : public PracticeControls {
  public:
    // The controller must outlive this object.
    explicit PlayerPracticeControls(TonveraAppDelegate& controller);

    void lockController() override;
    void unlockController() override;

    QString musicFile() const override;
    bool openMusic(const QString& path) override;
    void keepForNextMusic(const PracticeSettings& settings) override;

    float sliderValue(Slider slider) const override;
    void setSliderValue(Slider slider, float value) override;
    void setValueField(ValueField field, const QString& text) override;

    void setEngineVolume(float percent) override;
    void setEngineTempo(float percent) override;
    void setEnginePitch(float semitones) override;
    void setEngineSamplerate(float hz) override;

    QString bpmFieldText() const override;
    void setBpmFieldText(const QString& text) override;
    bool startWithMusic() const override;
    void setStartWithMusic(bool ticked) override;

    // Before launch there is no metronome: the BPM reads as none and setting it does nothing.
    QVariant metronomNumberBPM() const override;
    void setMetronomNumberBPM(const QVariant& bpm) override;
    void setMetronomVolume(float percent) override;
    void collectPracticeTools(PracticeSettings& settings) const override;
    void applyPracticeTools(const PracticeSettings& settings) override;

  private:
    ValueSlider* slider(Slider which) const;
    QLineEdit* field(ValueField which) const;

    TonveraAppDelegate& controller_;
};

#endif
