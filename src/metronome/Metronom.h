// The metronome: a click sample, loaded once through the sound engine, sounded at a steady beat
// rate. The clicks are scheduled on the audio device's clock, so each lands on its frame; a timer
// on the main event loop follows the same beat for the console line and the ticked() signal (and
// plays the clicks itself where the device has no clock to schedule on). It knows nothing of the
// music: its beat does not follow the music's position or tempo.
//
// Threads: main thread only (the timer is attached to the main event loop; the engine's sample
// calls are main-thread calls too; the audio thread reads the beats through the engine's
// lock-free schedule).
#ifndef TONVERA_METRONOME_METRONOM_H
#define TONVERA_METRONOME_METRONOM_H

#include <QObject>
#include <QString>
#include <QTimer>
#include <QVariant>
#include <cstdint>
#include <optional>

#include "metronome/TickSchedule.h"

class SoundEngine;

class Metronom : public QObject {
    Q_OBJECT

  public:
    // Beat rates the timer can keep: slower than one beat a minute is no longer a beat, and
    // beyond 1000 the clicks (60 ms apart) run into each other and the main loop cannot keep up.
    static constexpr float kLowestBpm = 1.0F;
    static constexpr float kHighestBpm = 1000.0F;
    // The range the BPM field should accept; what a musician practises with.
    static constexpr int kFieldMinimumBpm = 20;
    static constexpr int kFieldMaximumBpm = 400;
    // The click volume set at start-up, before the volume slider is first moved.
    static constexpr float kStartVolume = 95.0F;

    // No BPM, stopped, no engine, click handle 0.
    explicit Metronom(QObject* parent = nullptr);
    ~Metronom() override;

    // Stores the engine and loads the click sample through it, from the program's resource
    // folder (or from the given file). The handle is 0 when loading failed; the engine logs why,
    // and the metronome then ticks in silence.
    void appendSoundEngine(SoundEngine* engine);
    void appendSoundEngine(SoundEngine* engine, const QString& clickSamplePath);

    // Starts ticking at numberBPM(): the first click one interval from now, tick n due n
    // intervals from now. A running metronome is restarted, so at most one schedule exists.
    // A BPM the interval cannot be made from (none, not a number, 0, negative, outside
    // kLowestBpm..kHighestBpm) leaves the metronome stopped, with a console line saying why;
    // the result is then false.
    bool start();
    // The same with the first click at device frame `firstFrame` (a count-in before the music
    // starts on the beat).
    bool startAt(std::uint64_t firstFrame);
    // Beats per bar and whether the bar's first beat is accented; from the next start on.
    void setBar(int beatsPerBar, bool accent);
    int beatsPerBar() const { return beatsPerBar_; }
    // Running on the device clock: the device frame of beat n (0 = the first click); nullopt
    // when the clicks are not on the clock.
    std::optional<std::uint64_t> beatFrame(std::int64_t n) const;
    // The first beat on the clock at or after device frame `frame`; nullopt as above.
    std::optional<std::int64_t> beatAtOrAfter(std::uint64_t frame) const;
    bool accent() const { return accent_; }
    // Stops ticking; nothing when stopped.
    void stop();
    // One beat: the console line and the click. Called by the timer.
    void updateTick();
    // Click volume in percent (0..100), at once, also while a click sounds.
    void setVolume(float percent);

    // The beat rate as the number object it was given (an int, a long long or a double; an empty
    // variant when none). Replacing it does not touch a running metronome: the next start()
    // reads it.
    QVariant numberBPM() const { return numberBPM_; }
    void setNumberBPM(const QVariant& bpm) { numberBPM_ = bpm; }

    bool isRunning() const { return running_; }
    std::uint32_t soundClick() const { return soundClick_; }
    // The running schedule (its interval and due times); meaningful while running.
    const TickSchedule& schedule() const { return schedule_; }

    // 60 / BPM divided in single precision and widened, as the beat has always been timed
    // (90 BPM gives 0.666666686534881591796875 s); nullopt for a BPM start() refuses.
    static std::optional<double> tickInterval(const QVariant& bpm);

  signals:
    // After each beat's click, with the beat's number in the current schedule (1 = the first).
    // Numbers skip where late beats were dropped.
    void ticked(qint64 number);

  private:
    void timerFired();
    void arm();
    bool begin(std::optional<std::uint64_t> firstFrame);
    // Hands the beat to the device clock; false where there is none (no device, no click).
    bool scheduleOnClock(std::optional<std::uint64_t> firstFrame, double interval,
                         TickSchedule::Clock::time_point* scheduleStart);

    QVariant numberBPM_;
    SoundEngine* soundengine_ = nullptr;  // not owned
    std::uint32_t soundClick_ = 0;
    // One timer for the metronome's whole life, re-armed for each beat against the schedule: a
    // late beat does not shift the later ones, and there can never be two of them.
    QTimer updateTimer_;
    TickSchedule schedule_;
    bool running_ = false;
    // The clicks come from the device clock; the timer then only logs.
    bool onClock_ = false;
    std::uint64_t clockFirst_ = 0;
    double clockInterval_ = 0.0;  // frames
    int beatsPerBar_ = 4;
    bool accent_ = false;
};

#endif
