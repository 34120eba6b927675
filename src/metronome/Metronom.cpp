#include "metronome/Metronom.h"

#include <chrono>
#include <cmath>

#include "engine/SoundEngine.h"
#include "logging/Console.h"
#include "ui/NumberText.h"
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
    schedule_.begin(TickSchedule::Clock::now(), *interval);
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
}

void Metronom::updateTick() {
    console("Metronom.updateTick");
    if (soundengine_) {
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
