#include "audiolib/sample/SampleVoice.h"

#include <algorithm>
#include <chrono>
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
    paused_.store(false, std::memory_order_release);
    wantPlay_.store(false, std::memory_order_release);
}

bool SampleVoice::mixInto(float* stereo, int frames) {
    const std::uint32_t serial = startSerial_.load(std::memory_order_acquire);
    const bool wantPlay = wantPlay_.load(std::memory_order_acquire);
    const float volume = volume_.load(std::memory_order_relaxed);
    level_.setTarget(volume);
    const std::size_t length = data_->frameCount();
    const float* samples = data_->frames.data();
    const bool mono = data_->channels == 1;
    for (int i = 0; i < frames; ++i) {
        if (serial != seenSerial_) {
            // A new start: fade out what still sounds, then jump to the beginning.
            if (running_ && fade_ > 0.0F) {
                fade_ = std::max(0.0F, fade_ - cutStep_);
            } else {
                seenSerial_ = serial;
                head_ = 0;
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
        if (!running_)
            break;
        if (head_ >= length) {
            running_ = false;
            fade_ = 0.0F;
            finishedSerial_.store(seenSerial_, std::memory_order_release);
            if (serial == seenSerial_)
                break;
            continue;
        }
        const float gain = fade_ * level_.next();
        const float left = samples[mono ? head_ : 2 * head_];
        const float right = mono ? left : samples[2 * head_ + 1];
        stereo[2 * i] += left * gain;
        stereo[2 * i + 1] += right * gain;
        ++head_;
    }
    position_.store(head_, std::memory_order_release);
    audible_.store(running_ && fade_ > 0.0F, std::memory_order_release);
    return running_ && (wantPlay || fade_ > 0.0F);
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
