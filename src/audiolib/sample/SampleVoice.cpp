#include "audiolib/sample/SampleVoice.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

namespace audiolib {

SampleVoice::SampleVoice(std::shared_ptr<const SampleData> data)
    : data_(std::move(data)),
      cutStep_(static_cast<float>(1.0 / (kCutSeconds * data_->rate))),
      pauseStep_(static_cast<float>(1.0 / (kPauseFadeSeconds * data_->rate))),
      level_(static_cast<int>(kPauseFadeSeconds * data_->rate), 1.0F) {}

bool SampleVoice::sounding() const {
    return wantPlay_.load(std::memory_order_acquire) &&
           finishedSerial_.load(std::memory_order_acquire) !=
               startSerial_.load(std::memory_order_acquire);
}

void SampleVoice::play(bool restart) {
    const bool resumable = paused_.load(std::memory_order_acquire) && !restart;
    if (!resumable && (restart || !sounding())) {
        startSerial_.fetch_add(1, std::memory_order_acq_rel);
    }
    paused_.store(false, std::memory_order_release);
    wantPlay_.store(true, std::memory_order_release);
}

void SampleVoice::pause() {
    if (!sounding())
        return;
    paused_.store(true, std::memory_order_release);
    wantPlay_.store(false, std::memory_order_release);
}

void SampleVoice::stop() {
    if (beatsScheduled())
        cancelBeats();
    paused_.store(false, std::memory_order_release);
    wantPlay_.store(false, std::memory_order_release);
}

void SampleVoice::scheduleBeats(BeatSchedule schedule) {
    std::lock_guard lock(beatWriters_);
    schedule.serial = ++beatSerial_;
    beatSlot_.write(schedule);
    beatsWanted_.store(schedule.active(), std::memory_order_release);
    if (schedule.active()) {
        paused_.store(false, std::memory_order_release);
        wantPlay_.store(true, std::memory_order_release);
    }
}

void SampleVoice::cancelBeats() {
    scheduleBeats(BeatSchedule{});
}

bool SampleVoice::beatDue(std::uint64_t frame) const {
    if (!beats_.active() || (beats_.count != 0 && nextBeat_ >= beats_.count))
        return false;
    return frame >= beats_.frameOf(nextBeat_);
}

void SampleVoice::takeSchedule(std::uint64_t now) {
    BeatSchedule latest;
    if (!beatSlot_.tryRead(&latest) || latest.serial == seenBeatSerial_)
        return;
    seenBeatSerial_ = latest.serial;
    beats_ = latest;
    // Beats whose frame has gone by (asked for too late) are skipped, not played late.
    nextBeat_ = 0;
    if (beats_.active() && now > beats_.firstFrame) {
        nextBeat_ = static_cast<std::uint64_t>(
            std::ceil(static_cast<double>(now - beats_.firstFrame) / beats_.intervalFrames));
        while (nextBeat_ > 0 && beats_.frameOf(nextBeat_ - 1) >= now)
            --nextBeat_;
    }
}

float SampleVoice::readAt(const float* samples, bool mono, int channel) const {
    const auto index = static_cast<std::size_t>(phase_);
    const std::size_t length = data_->frameCount();
    const auto frac = static_cast<float>(phase_ - static_cast<double>(index));
    auto at = [&](std::size_t i) {
        if (i >= length)
            return 0.0F;
        return samples[mono ? i : 2 * i + static_cast<std::size_t>(channel)];
    };
    return at(index) + (at(index + 1) - at(index)) * frac;
}

bool SampleVoice::mixInto(float* stereo, int frames) {
    const std::uint32_t serial = startSerial_.load(std::memory_order_acquire);
    const bool wantPlay = wantPlay_.load(std::memory_order_acquire);
    const float volume = volume_.load(std::memory_order_relaxed);
    const std::uint64_t now = clock_ ? clock_->load(std::memory_order_acquire) : 0;
    if (clock_)
        takeSchedule(now);
    level_.setTarget(volume);
    const std::size_t length = data_->frameCount();
    const float* samples = data_->frames.data();
    const bool mono = data_->channels == 1;
    for (int i = 0; i < frames; ++i) {
        if (clock_ && beatDue(now + static_cast<std::uint64_t>(i))) {
            // A beat starts on its frame exactly: the click before it has died away by then
            // at any beat rate the metronome keeps.
            step_ = beats_.accented(nextBeat_) ? kAccentStep : 1.0;
            ++nextBeat_;
            phase_ = 0.0;
            head_ = 0;
            level_.jumpTo(volume);
            fade_ = 1.0F;
            running_ = true;
        } else if (serial != seenSerial_) {
            // A new start: fade out what still sounds, then jump to the beginning.
            if (running_ && fade_ > 0.0F) {
                fade_ = std::max(0.0F, fade_ - cutStep_);
            } else {
                seenSerial_ = serial;
                head_ = 0;
                step_ = 1.0;
                level_.jumpTo(volume);
                fade_ = 1.0F;  // the sound starts with its own attack, unsoftened
                running_ = true;
            }
        } else if (!wantPlay) {
            if (fade_ == 0.0F)
                break;  // paused or stopped: hold
            fade_ = std::max(0.0F, fade_ - pauseStep_);
        } else if (running_ && fade_ < 1.0F) {
            fade_ = std::min(1.0F, fade_ + pauseStep_);  // resuming after a pause
        }
        if (!running_) {
            // Silent until a beat: nothing to do for the rest of the buffer unless one falls
            // inside it.
            if (!beatDue(now + static_cast<std::uint64_t>(frames) - 1))
                break;
            continue;
        }
        if (head_ >= length) {
            running_ = false;
            fade_ = 0.0F;
            finishedSerial_.store(seenSerial_, std::memory_order_release);
            continue;
        }
        const float gain = fade_ * level_.next();
        float left = 0.0F;
        float right = 0.0F;
        if (step_ == 1.0) {
            left = samples[mono ? head_ : 2 * head_];
            right = mono ? left : samples[2 * head_ + 1];
            ++head_;
        } else {
            left = readAt(samples, mono, 0);
            right = mono ? left : readAt(samples, mono, 1);
            phase_ += step_;
            head_ = static_cast<std::size_t>(phase_);
        }
        stereo[2 * i] += left * gain;
        stereo[2 * i + 1] += right * gain;
    }
    position_.store(head_, std::memory_order_release);
    audible_.store(running_ && fade_ > 0.0F, std::memory_order_release);
    const bool beatsLeft =
        beats_.active() && (beats_.count == 0 || nextBeat_ < beats_.count) && wantPlay;
    return (running_ && (wantPlay || fade_ > 0.0F)) || beatsLeft;
}

bool SampleVoice::stopAndFade(int timeoutMs) {
    stop();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (audible_.load(std::memory_order_acquire)) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace audiolib
