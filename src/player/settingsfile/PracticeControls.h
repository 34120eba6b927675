// What the practice settings commands need of the player window controller: its controls, the
// engine's setters, opening music and the metronome. PlayerControls, which the window hands all
// its parts, extends it; tests use a fake that records the calls.
//
// Threads: every call comes on the main thread.
#ifndef TONVERA_PLAYER_SETTINGSFILE_PRACTICECONTROLS_H
#define TONVERA_PLAYER_SETTINGSFILE_PRACTICECONTROLS_H

#include <QString>
#include <QVariant>

struct PracticeSettings;

class PracticeControls {
  public:
    // The window's float sliders.
    enum class Slider { Volume, Tempo, Rate, Pitch, MetronomVolume };
    // The formatted value fields beside the tempo, rate and pitch sliders.
    enum class ValueField { Tempo, Rate, Pitch };

    virtual ~PracticeControls() = default;

    // The controller's own recursive lock, held around opening and applying a settings file
    // (the position timer takes it too).
    virtual void lockController() = 0;
    virtual void unlockController() = 0;

    // The engine's open music file; empty when none is open.
    virtual QString musicFile() const = 0;
    // The controller's one entry for opening music: opens it in the engine and resets the
    // controls for it; false when it could not (the user is told why, and no music is left).
    virtual bool openMusic(const QString& path) = 0;
    // The settings' music could not be opened: their tempo, pitch and rate are to apply to the
    // music opened next instead of that music's own.
    virtual void keepForNextMusic(const PracticeSettings& settings) = 0;

    // Setting a slider from code holds the value within the slider's range and sends no action.
    virtual float sliderValue(Slider slider) const = 0;
    virtual void setSliderValue(Slider slider, float value) = 0;
    virtual void setValueField(ValueField field, const QString& text) = 0;

    virtual void setEngineVolume(float percent) = 0;
    virtual void setEngineTempo(float percent) = 0;
    virtual void setEnginePitch(float semitones) = 0;
    virtual void setEngineSamplerate(float hz) = 0;

    virtual QString bpmFieldText() const = 0;
    virtual void setBpmFieldText(const QString& text) = 0;
    virtual bool startWithMusic() const = 0;
    // Sets the check box without running its action: the metronome button keeps its enabled
    // state and the metronome is neither started nor stopped.
    virtual void setStartWithMusic(bool ticked) = 0;

    virtual QVariant metronomNumberBPM() const = 0;
    virtual void setMetronomNumberBPM(const QVariant& bpm) = 0;
    virtual void setMetronomVolume(float percent) = 0;

    // The practice tools (loop, trainer, count-in): those in use go into `settings`, and a
    // stored set-up is applied after its music has opened. A window without the tools has none.
    virtual void collectPracticeTools(PracticeSettings& /*settings*/) const {}
    virtual void applyPracticeTools(const PracticeSettings& /*settings*/) {}
};

// Holds the controller's lock for a scope.
class PracticeControlsLock {
  public:
    explicit PracticeControlsLock(PracticeControls& controls) : controls_(controls) {
        controls_.lockController();
    }
    ~PracticeControlsLock() { controls_.unlockController(); }
    PracticeControlsLock(const PracticeControlsLock&) = delete;
    PracticeControlsLock& operator=(const PracticeControlsLock&) = delete;

  private:
    PracticeControls& controls_;
};

#endif
