#include "audiolib/stream/GainEffects.h"

#include <algorithm>
#include <cmath>

namespace audiolib {

int GainEffects::add() {
    std::lock_guard lock(mutex_);
    const int id = nextId_++;
    effects_.emplace(id, Params{});
    publish();
    return id;
}

bool GainEffects::remove(int id) {
    std::lock_guard lock(mutex_);
    if (effects_.erase(id) == 0)
        return false;
    publish();
    return true;
}

bool GainEffects::set(int id, const Params& params) {
    if (!std::isfinite(params.gain))
        return false;
    if (params.channel != kAllChannels &&
        (params.channel < 0 || params.channel > channels_ || params.channel > kMaxChannels)) {
        return false;
    }
    std::lock_guard lock(mutex_);
    const auto it = effects_.find(id);
    if (it == effects_.end())
        return false;
    it->second = params;
    publish();
    return true;
}

bool GainEffects::get(int id, Params* params) const {
    std::lock_guard lock(mutex_);
    const auto it = effects_.find(id);
    if (it == effects_.end())
        return false;
    *params = it->second;
    return true;
}

void GainEffects::publish() {
    float all = 1.0F;
    std::array<float, kMaxChannels> single;
    single.fill(1.0F);
    bool anySingle = false;
    for (const auto& [id, params] : effects_) {
        if (params.channel == kAllChannels) {
            all *= params.gain;
        } else if (params.channel > 0) {
            single[params.channel - 1] *= params.gain;
            anySingle = true;
        }
    }
    for (int c = 0; c < kMaxChannels; ++c) {
        channelGain_[c].store(single[c], std::memory_order_relaxed);
    }
    all_.store(all, std::memory_order_relaxed);
    perChannel_.store(anySingle, std::memory_order_release);
}

float GainEffects::peakFactor() const {
    float largest = 1.0F;
    if (hasPerChannel()) {
        largest = 0.0F;
        const int channels = channels_ > kMaxChannels ? kMaxChannels : channels_;
        for (int c = 0; c < channels; ++c)
            largest = std::max(largest, std::fabs(channelGain_[c].load(std::memory_order_relaxed)));
    }
    return std::fabs(allChannels()) * largest;
}

void GainEffects::applyPerChannel(float* frames, std::size_t count) const {
    if (!hasPerChannel())
        return;
    const int channels = channels_ > kMaxChannels ? kMaxChannels : channels_;
    std::array<float, kMaxChannels> gain;
    for (int c = 0; c < channels; ++c)
        gain[c] = channelGain_[c].load(std::memory_order_relaxed);
    for (std::size_t i = 0; i < count; ++i) {
        for (int c = 0; c < channels; ++c)
            frames[i * channels_ + c] *= gain[c];
    }
}

}  // namespace audiolib
