#include "audiolib/device/SilentOutput.h"

#include <chrono>

#include "audiolib/playback/Mixer.h"

namespace audiolib {

SilentOutput::SilentOutput(Mixer& mixer)
    : mixer_(mixer), buffer_(static_cast<std::size_t>(kBufferFrames) * 2) {}

SilentOutput::~SilentOutput() {
    {
        std::lock_guard lock(startMutex_);
        stopping_.store(true, std::memory_order_release);
    }
    resumed_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

void SilentOutput::ensureRunning() {
    {
        std::lock_guard lock(startMutex_);
        suspended_ = false;
        if (!thread_.joinable())
            thread_ = std::thread(&SilentOutput::run, this);
    }
    resumed_.notify_all();
}

void SilentOutput::suspend() {
    std::lock_guard lock(startMutex_);
    suspended_ = true;
}

void SilentOutput::run() {
    using Clock = std::chrono::steady_clock;
    const auto period =
        std::chrono::duration<double>(static_cast<double>(kBufferFrames) / mixer_.rate());
    auto next = Clock::now();
    while (!stopping_.load(std::memory_order_acquire)) {
        {
            std::unique_lock lock(startMutex_);
            if (suspended_) {
                resumed_.wait(lock, [this] {
                    return !suspended_ || stopping_.load(std::memory_order_acquire);
                });
                next = Clock::now();
                continue;
            }
        }
        mixer_.process(buffer_.data(), kBufferFrames);
        next += std::chrono::duration_cast<Clock::duration>(period);
        // After a long stall (a suspended machine) do not rush to catch up.
        if (Clock::now() - next > std::chrono::milliseconds(200))
            next = Clock::now();
        std::this_thread::sleep_until(next);
    }
}

}  // namespace audiolib
