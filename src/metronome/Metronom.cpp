#include "metronome/Metronom.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "engine/SoundEngine.h"
#include "formats/NumberText.h"
#include "logging/Console.h"
#include "ui/ResourcePaths.h"

Metronom::Metronom(QObject* parent) : QObject(parent), updateTimer_(this) {
    updateTimer_.setSingleShot(true);
    updateTimer_.setTimerType(Qt::PreciseTimer);
    connect(&updateTimer_, &QTimer::timeout, this, &Metronom::timerFired);
}

Metronom::~Metronom() = default;

void Metronom::appendSoundEngine(SoundEngine* engine) {
    appendSoundEngine(engine, resources::path(resources::kClickSoundFormat));
}

void Metronom::appendSoundEngine(SoundEngine* engine, const QString& clickSamplePath) {
    soundengine_ = engine;
    soundClick_ = engine ? engine->loadSample(clickSamplePath.toStdString()) : 0;
}

std::optional<double> Metronom::tickInterval(const QVariant& bpm) {
    const float beats = numbertext::floatValue(bpm);
    if (!std::isfinite(beats) || beats < kLowestBpm || beats > kHighestBpm) {
        return std::nullopt;
    }
    const float interval = 60.0F / beats;
    return static_cast<double>(interval);
}

bool Metronom::start() {
    return begin(std::nullopt);
}

bool Metronom::startAt(std::uint64_t firstFrame) {
    return begin(firstFrame);
}

void Metronom::setBar(int beatsPerBar, bool accent) {
    beatsPerBar_ = std::clamp(beatsPerBar, 1, 64);
    accent_ = accent;
}

bool Metronom::begin(std::optional<std::uint64_t> firstFrame) {
    const std::optional<double> interval = tickInterval(numberBPM_);
    if (!interval) {
        const QString shown = numberBPM_.isValid() ? numberBPM_.toString() : QStringLiteral("none");
        console(
            "Metronom:start BPM %s is not a beat rate from %g to %g, the metronome stays "
            "stopped",
            shown.toUtf8().constData(), static_cast<double>(kLowestBpm),
            static_cast<double>(kHighestBpm));
        // A refused start must not leave an old rate ticking: the caller asked for this rate.
        stop();
        return false;
    }
    console("Metronom:start BPM %i interval: %f", numbertext::wholeNumberPart(numberBPM_),
            *interval);
    stop();
    TickSchedule::Clock::time_point scheduleStart = TickSchedule::Clock::now();
    onClock_ = scheduleOnClock(firstFrame, *interval, &scheduleStart);
    schedule_.begin(scheduleStart, *interval);
    running_ = true;
    arm();
    return true;
}

void Metronom::stop() {
    if (!running_) {
        return;
    }
    updateTimer_.stop();
    running_ = false;
    if (onClock_ && soundengine_)
        soundengine_->stopBeats(soundClick_);
    onClock_ = false;
}

bool Metronom::scheduleOnClock(std::optional<std::uint64_t> firstFrame, double interval,
                               TickSchedule::Clock::time_point* scheduleStart) {
    if (!soundengine_ || soundClick_ == 0)
        return false;
    const std::optional<SoundEngine::Clock> clock = soundengine_->clock();
    if (!clock)
        return false;
    const std::uint64_t first = firstFrame.value_or(
        clock->frame +
        static_cast<std::uint64_t>(std::llround(interval * static_cast<double>(clock->rate))));
    if (!soundengine_->playBeats(soundClick_, first, interval, 0, beatsPerBar_, accent_))
        return false;
    clockFirst_ = first;
    clockInterval_ = interval * static_cast<double>(clock->rate);
    // The timer's beat follows the clock's: tick n falls on the device's beat n (give or take
    // the output buffer, which the console line does not need).
    const double untilFirst = (static_cast<double>(first) - static_cast<double>(clock->frame)) /
                              static_cast<double>(clock->rate);
    *scheduleStart += std::chrono::duration_cast<TickSchedule::Clock::duration>(
        std::chrono::duration<double>(untilFirst - interval));
    return true;
}

void Metronom::updateTick() {
    console("Metronom.updateTick");
    if (soundengine_ && !onClock_) {
        soundengine_->playSample(soundClick_);
    }
}

void Metronom::setVolume(float percent) {
    if (soundengine_) {
        soundengine_->setSampleVolume(soundClick_, percent);
    }
}

void Metronom::timerFired() {
    if (!running_) {
        return;
    }
    const TickSchedule::Wake wake = schedule_.wake(TickSchedule::Clock::now());
    if (wake.tick) {
        updateTick();
        emit ticked(wake.number);
    }
    // A slot of ticked() may have stopped or restarted the metronome; restarting armed already,
    // and arming twice only recomputes the same delay.
    if (running_) {
        arm();
    }
}

void Metronom::arm() {
    // Whole milliseconds rounded down: the timer wakes at most a millisecond early, and an early
    // wake re-arms for the rest (0 ms: the next pass of the event loop) instead of ticking early.
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(
        schedule_.untilNext(TickSchedule::Clock::now()));
    updateTimer_.start(wait);
}

std::optional<std::uint64_t> Metronom::beatFrame(std::int64_t n) const {
    if (!running_ || !onClock_ || n < 0)
        return std::nullopt;
    // As the mixer places them: each beat from the first, never by adding intervals up.
    return clockFirst_ +
           static_cast<std::uint64_t>(std::llround(static_cast<double>(n) * clockInterval_));
}

std::optional<std::int64_t> Metronom::beatAtOrAfter(std::uint64_t frame) const {
    if (!running_ || !onClock_ || clockInterval_ <= 0.0)
        return std::nullopt;
    if (frame <= clockFirst_)
        return 0;
    auto n = static_cast<std::int64_t>(
        std::ceil(static_cast<double>(frame - clockFirst_) / clockInterval_));
    while (n > 0 && *beatFrame(n - 1) >= frame)
        --n;
    while (*beatFrame(n) < frame)
        ++n;
    return n;
}
