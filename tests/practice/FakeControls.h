// A stand-in for the player window controller: sliders that hold values within their ranges as
// the real ones do, and a journal of every call in order, so tests check what reaches the engine,
// the controls and the metronome, and when.
#ifndef TONVERA_TESTS_PRACTICE_FAKECONTROLS_H
#define TONVERA_TESTS_PRACTICE_FAKECONTROLS_H

#include <algorithm>
#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "formats/PracticeSettings.h"
#include "player/settingsfile/PracticeControls.h"

class FakeControls : public PracticeControls {
  public:
    struct Range {
        float minimum;
        float maximum;
    };

    FakeControls() {
        ranges_[Slider::Volume] = {0, 100};
        ranges_[Slider::Tempo] = {-50, 100};
        ranges_[Slider::Rate] = {30870, 57330};  // a 44100 Hz file: 0.7 to 1.3 times its rate
        ranges_[Slider::Pitch] = {-12, 12};
        ranges_[Slider::MetronomVolume] = {0, 100};
        for (const auto& [slider, range] : ranges_)
            values_[slider] = range.minimum;
    }

    // The journal: one line per call that changes something.
    std::vector<std::string> calls;
    // The music that openMusic() leaves open (the fake "engine").
    QString openMusicFile;
    int lockDepth = 0;
    int maxLockDepth = 0;
    // The engine's four attributes as last set.
    float engineVolume = -1, engineTempo = -1, enginePitch = -1, engineSamplerate = -1;
    QString bpmField = QStringLiteral("120");
    bool boxTicked = false;
    QVariant numberBPM;
    float metronomVolume = -1;
    std::map<ValueField, QString> fields;

    void setSliderDirect(Slider s, float v) { values_[s] = clamp(s, v); }

    void lockController() override {
        ++lockDepth;
        maxLockDepth = std::max(maxLockDepth, lockDepth);
    }
    void unlockController() override { --lockDepth; }

    QString musicFile() const override { return openMusicFile; }
    bool openMusic(const QString& path) override {
        calls.push_back("open " + path.toStdString());
        // As the controller's open does: a good file resets the controls for it, a failed open
        // leaves no music.
        if (path.isEmpty() || path.contains(QLatin1String("missing"))) {
            openMusicFile.clear();
            return false;
        }
        openMusicFile = path;
        values_[Slider::Volume] = 75;
        values_[Slider::Tempo] = 0;
        values_[Slider::Pitch] = 0;
        values_[Slider::Rate] = 44100;
        return true;
    }
    void keepForNextMusic(const PracticeSettings& s) override {
        calls.push_back("keep " + number(s.musicTempo) + " " + number(s.musicPitch) + " " +
                        number(s.musicSamplerate));
    }

    float sliderValue(Slider s) const override { return values_.at(s); }
    void setSliderValue(Slider s, float v) override {
        calls.push_back("slider " + name(s) + " " + number(v));
        if (!std::isnan(v))
            values_[s] = clamp(s, v);
    }
    void setValueField(ValueField f, const QString& text) override {
        calls.push_back("field " + name(f) + " " + text.toStdString());
        fields[f] = text;
    }

    void setEngineVolume(float v) override {
        engineVolume = v;
        calls.push_back("engine volume " + number(v));
    }
    void setEngineTempo(float v) override {
        engineTempo = v;
        calls.push_back("engine tempo " + number(v));
    }
    void setEnginePitch(float v) override {
        enginePitch = v;
        calls.push_back("engine pitch " + number(v));
    }
    void setEngineSamplerate(float v) override {
        engineSamplerate = v;
        calls.push_back("engine rate " + number(v));
    }

    QString bpmFieldText() const override { return bpmField; }
    void setBpmFieldText(const QString& text) override {
        bpmField = text;
        calls.push_back("bpm field " + text.toStdString());
    }
    bool startWithMusic() const override { return boxTicked; }
    void setStartWithMusic(bool ticked) override {
        boxTicked = ticked;
        calls.push_back(std::string("check box ") + (ticked ? "on" : "off"));
    }
    QVariant metronomNumberBPM() const override { return numberBPM; }
    void setMetronomNumberBPM(const QVariant& bpm) override {
        numberBPM = bpm;
        calls.push_back("metronome bpm " +
                        (bpm.isValid() ? bpm.toString().toStdString() : std::string("none")));
    }
    void setMetronomVolume(float v) override {
        metronomVolume = v;
        calls.push_back("metronome volume " + number(v));
    }

    static std::string number(float v) { return QString::number(double(v)).toStdString(); }

  private:
    float clamp(Slider s, float v) const {
        return std::clamp(v, ranges_.at(s).minimum, ranges_.at(s).maximum);
    }
    static std::string name(Slider s) {
        switch (s) {
            case Slider::Volume:
                return "volume";
            case Slider::Tempo:
                return "tempo";
            case Slider::Rate:
                return "rate";
            case Slider::Pitch:
                return "pitch";
            case Slider::MetronomVolume:
                return "metronome volume";
        }
        return "?";
    }
    static std::string name(ValueField f) {
        switch (f) {
            case ValueField::Tempo:
                return "tempo";
            case ValueField::Rate:
                return "rate";
            case ValueField::Pitch:
                return "pitch";
        }
        return "?";
    }

    std::map<Slider, Range> ranges_;
    std::map<Slider, float> values_;
};

#endif
