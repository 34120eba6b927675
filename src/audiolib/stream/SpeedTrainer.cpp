#include "audiolib/stream/SpeedTrainer.h"

#include <algorithm>
#include <cmath>

namespace audiolib {

void SpeedTrainer::set(float target, float step, std::uint32_t passesPerStep) {
    target_.store(target, std::memory_order_relaxed);
    step_.store(std::fabs(step), std::memory_order_relaxed);
    every_.store(passesPerStep, std::memory_order_release);
}

std::optional<float> SpeedTrainer::nextTempo(std::uint32_t passes, float tempo) const {
    const std::uint32_t every = every_.load(std::memory_order_acquire);
    if (every == 0 || passes % every != 0)
        return std::nullopt;
    const float target = target_.load(std::memory_order_relaxed);
    const float step = step_.load(std::memory_order_relaxed);
    const float next =
        tempo < target ? std::min(target, tempo + step) : std::max(target, tempo - step);
    if (next == tempo)
        return std::nullopt;
    return next;
}

}  // namespace audiolib
