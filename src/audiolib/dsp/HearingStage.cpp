#include "audiolib/dsp/HearingStage.h"

#include "audiolib/dsp/ChannelChoice.h"

namespace audiolib {

HearingStage::HearingStage(int rate, int channels)
    : channels_(channels),
      focus_(rate, channels),
      centreCancel_(channels == 2 ? std::make_unique<CentreCancel>(rate) : nullptr) {}

void HearingStage::request(const HearingSettings& settings) {
    std::lock_guard lock(mutex_);
    requested_ = settings;
    version_.fetch_add(1, std::memory_order_release);
}

HearingSettings HearingStage::requested() const {
    std::lock_guard lock(mutex_);
    return requested_;
}

bool HearingStage::update() {
    const std::uint32_t version = version_.load(std::memory_order_acquire);
    if (version == appliedVersion_)
        return false;
    appliedVersion_ = version;
    const HearingSettings next = requested();
    const std::size_t before = latency();
    if (!(next.focus == applied_.focus) && !focus_.set(next.focus))
        focus_.set(FocusSpec{});
    if (next.centreCancel && !applied_.centreCancel && centreCancel_)
        centreCancel_->reset();
    applied_ = next;
    return latency() != before;
}

std::size_t HearingStage::latency() const {
    return applied_.centreCancel && centreCancel_ ? centreCancel_->latency() : 0;
}

void HearingStage::process(float* frames, std::size_t count) {
    if (applied_.centreCancel && centreCancel_)
        centreCancel_->process(frames, count);
    applyChannelChoice(applied_.channels, frames, count, channels_);
    focus_.process(frames, count);
}

void HearingStage::reset() {
    focus_.reset();
    if (centreCancel_)
        centreCancel_->reset();
}

}  // namespace audiolib
