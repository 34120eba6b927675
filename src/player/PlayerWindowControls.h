// The player window as its parts see it: the window's sliders, value fields and metronome
// controls, the engine, and the few entries of the window controller they may use (opening
// music, keeping a set-up for the next music, its lock, messages, play and pause), behind the
// PlayerControls interface. The controller makes one and hands it to its parts, so they never
// include the controller.
//
// Threads: main thread only, like the controller.
#ifndef TONVERA_PLAYER_PLAYERWINDOWCONTROLS_H
#define TONVERA_PLAYER_PLAYERWINDOWCONTROLS_H

#include "player/PlayerControls.h"

class QLineEdit;
class SoundEngine;
class TonveraAppDelegate;
class ValueSlider;
namespace Ui {
class MainWindow;
}

class PlayerWindowControls : public PlayerControls {
  public:
    // All three must outlive this object; `ui` holds the controller's window's widgets.
    PlayerWindowControls(TonveraAppDelegate& controller, Ui::MainWindow& ui, SoundEngine& engine);

    // ---- for the parts of the window
    QMainWindow* window() const override;
    void tellUser(const QString& text) override;
    // Before launch there is no metronome.
    Metronom* metronom() const override;
    float heldSliderValue(Slider slider, float value) const override;
    void playOrPause() override;
    bool toggleMetronome() override;

    // ---- for the settings-file commands
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
    Ui::MainWindow& ui_;
    SoundEngine& engine_;
};

#endif
