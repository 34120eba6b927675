#include "audiolib/playback/Mixer.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "audiolib/dsp/FiniteSamples.h"

namespace audiolib {

bool Mixer::add(Voice* voice) {
    std::lock_guard lock(writers_);
    if (contains(voice))
        return true;
    for (auto& slot : slots_) {
        Voice* expected = nullptr;
        if (slot.compare_exchange_strong(expected, voice, std::memory_order_seq_cst))
            return true;
    }
    return false;
}

bool Mixer::contains(const Voice* voice) const {
    return std::any_of(slots_.begin(), slots_.end(),
                       [voice](const auto& slot) { return slot.load() == voice; });
}

int Mixer::voiceCount() const {
    return static_cast<int>(std::count_if(slots_.begin(), slots_.end(),
                                          [](const auto& slot) { return slot.load() != nullptr; }));
}

bool Mixer::remove(Voice* voice) {
    bool found = false;
    {
        std::lock_guard lock(writers_);
        for (auto& slot : slots_) {
            Voice* expected = voice;
            if (slot.compare_exchange_strong(expected, nullptr, std::memory_order_seq_cst)) {
                found = true;
            }
        }
    }
    if (!found)
        return true;
    const std::uint64_t seen = epoch_.load(std::memory_order_seq_cst);
    if (seen % 2 == 0)
        return true;
    // The callback is inside process() and may hold the pointer: wait for it to leave.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (epoch_.load(std::memory_order_seq_cst) == seen) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

bool Mixer::idleSince(std::uint64_t sinceFrame) const {
    const std::uint64_t now = frames_.load(std::memory_order_acquire);
    return now > sinceFrame && activeUntil_.load(std::memory_order_acquire) < now;
}

void Mixer::process(float* out, int frames) {
    epoch_.fetch_add(1, std::memory_order_seq_cst);
    std::fill(out, out + static_cast<std::ptrdiff_t>(frames) * 2, 0.0F);
    bool active = false;
    for (auto& slot : slots_) {
        if (Voice* voice = slot.load(std::memory_order_seq_cst))
            active = voice->mixInto(out, frames) || active;
    }
    const float master = masterVolume_.load(std::memory_order_relaxed);
    for (int i = 0; i < frames * 2; ++i)
        out[i] = deviceSample(out[i] * master);
    // The only writer of both; activity first, so a reader that sees the new clock also sees
    // whether this callback was active.
    const std::uint64_t end =
        frames_.load(std::memory_order_relaxed) + static_cast<std::uint64_t>(frames);
    if (active)
        activeUntil_.store(end, std::memory_order_release);
    frames_.store(end, std::memory_order_release);
    epoch_.fetch_add(1, std::memory_order_release);
}

}  // namespace audiolib
