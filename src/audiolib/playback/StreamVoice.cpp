#include "audiolib/playback/StreamVoice.h"

#include <algorithm>
#include <cmath>

#include "audiolib/playback/FeederSignal.h"

#include "audiolib/stream/GainEffects.h"

namespace audiolib {

StreamVoice::StreamVoice(PlaybackShared& shared, int deviceRate)
    : shared_(shared),
      fadeStep_(static_cast<float>(1.0 / (kFadeSeconds * deviceRate))),
      level_(static_cast<int>(kFadeSeconds * deviceRate),
             shared.volume.load(std::memory_order_relaxed) * shared.gains.allChannels()) {}

PlayPositionValue StreamVoice::valueAt(const AudioBlock& block, int offset) {
    PlayPositionValue value;
    value.source = block.sourceStart + offset * block.sourcePerFrame;
    value.history = block.historyStart + offset * block.historyPerFrame;
    value.generation = block.generation;
    return value;
}

void StreamVoice::publishStart(const AudioBlock& block, int offset) {
    const PlayPositionValue now = valueAt(block, offset);
    shared_.heard.publish(hasPrevious_ ? previous_ : now);
    previous_ = now;
    hasPrevious_ = true;
}

int StreamVoice::readyFrames(std::uint32_t generation, bool* endInRing, bool* staleInRing) const {
    int ready = 0;
    *endInRing = false;
    *staleInRing = false;
    for (std::uint32_t i = 0; const AudioBlock* block = shared_.ring.peek(i); ++i) {
        if (block->generation != generation) {
            *staleInRing = true;
            continue;
        }
        ready += block->frames - (i == 0 ? offset_ : 0);
        if (block->last) {
            *endInRing = true;
            break;
        }
    }
    return ready;
}

bool StreamVoice::mixInto(float* stereo, int frames) {
    const std::uint64_t startAt = shared_.startAt.load(std::memory_order_acquire);
    if (startAt != 0 && shared_.clock && shared_.wantPlay.load(std::memory_order_acquire)) {
        const std::uint64_t now = shared_.clock->load(std::memory_order_acquire);
        if (startAt >= now + static_cast<std::uint64_t>(frames))
            return true;  // still counting in: hold, with the device running
        const int wait = startAt > now ? static_cast<int>(startAt - now) : 0;
        // Once: a pause and a later play start at once again.
        std::uint64_t expected = startAt;
        shared_.startAt.compare_exchange_strong(expected, 0, std::memory_order_acq_rel);
        return mixFrom(stereo + 2 * wait, frames - wait);
    }
    return mixFrom(stereo, frames);
}

bool StreamVoice::mixFrom(float* stereo, int frames) {
    const bool wantPlay = shared_.wantPlay.load(std::memory_order_acquire);
    const float level =
        shared_.volume.load(std::memory_order_relaxed) * shared_.gains.allChannels();
    if (fade_ == 0.0F) {
        level_.jumpTo(level);
    } else {
        level_.setTarget(level);
    }
    // When what the ring holds will not last this callback, fade out over its last frames
    // rather than cutting to silence, and fade back in once the feeder has caught up.
    // A seek fades the old audio out on its own and is not an underrun.
    bool endInRing = false;
    bool staleInRing = false;
    const int ready =
        readyFrames(shared_.generation.load(std::memory_order_acquire), &endInRing, &staleInRing);
    // The ring must cover this callback and still hold a whole fade; otherwise the next callback
    // might find too little left to fade over.
    const int fadeFrames = static_cast<int>(std::ceil(1.0F / fadeStep_));
    const bool starving =
        wantPlay && fade_ > 0.0F && ready < frames + fadeFrames && !endInRing && !staleInRing;
    const int fadeOutFrom =
        starving ? std::min(ready, frames) - static_cast<int>(std::ceil(fade_ / fadeStep_)) : 0;
    bool heldForUnderrun = false;

    std::uint64_t taken = 0;
    bool published = false;
    int done = 0;
    int heard = 0;  // frames of the current generation mixed in this callback
    while (AudioBlock* block = shared_.ring.readable()) {
        // Read for every block, not once per callback: a seek may land while this callback
        // runs, and the feeder's blocks of the new generation must not be taken for old ones.
        const std::uint32_t generation = shared_.generation.load(std::memory_order_acquire);
        const bool stale = block->generation != generation;
        float target = wantPlay && !stale ? 1.0F : 0.0F;
        if (fade_ == 0.0F && target == 0.0F) {
            if (!stale)
                break;  // paused or stopped: hold the position
            // A seek was asked for and the old audio has faded out: drop it unheard.
            taken += static_cast<std::uint64_t>(block->frames - offset_);
            offset_ = 0;
            shared_.ring.release();
            continue;
        }
        if (heldForUnderrun || done == frames)
            break;
        if (!published) {
            publishStart(*block, offset_);
            published = true;
        }
        const int count = std::min(frames - done, block->frames - offset_);
        const float* in = block->samples.data() + 2 * offset_;
        float* out = stereo + 2 * done;
        int k = 0;
        while (k < count) {
            if (starving && !stale && heard + k >= fadeOutFrom)
                target = 0.0F;
            if (fade_ < target) {
                fade_ = std::min(target, fade_ + fadeStep_);
            } else if (fade_ > target) {
                fade_ = std::max(target, fade_ - fadeStep_);
            }
            const float gain = fade_ * level_.next();
            out[2 * k] += in[2 * k] * gain;
            out[2 * k + 1] += in[2 * k + 1] * gain;
            ++k;
            if (fade_ == 0.0F && target == 0.0F)
                break;  // faded out: stop consuming here
        }
        offset_ += k;
        done += k;
        taken += static_cast<std::uint64_t>(k);
        if (!stale)
            heard += k;
        if (starving && fade_ == 0.0F && !stale)
            heldForUnderrun = true;
        if (offset_ >= block->frames) {
            const bool last = block->last && !stale;
            if (last) {
                shared_.heard.publish(valueAt(*block, block->frames));
                hasPrevious_ = false;
                shared_.finishedGeneration.store(block->generation, std::memory_order_release);
                fade_ = 0.0F;
            }
            offset_ = 0;
            shared_.ring.release();
        }
    }
    if (!published)
        hasPrevious_ = false;  // nothing went out: nothing of ours is in the device
    shared_.audible.store(fade_ > 0.0F, std::memory_order_release);
    // Wanted to play, but the ring had too little: count the frames of silence, and each run of
    // such callbacks once.
    // (A callback that starts silent after a seek or a start is not short: that wait is the
    // seek's, and the old audio faded out on purpose.)
    if (heldForUnderrun)
        starvedHold_ = true;
    else if (heard > 0)
        starvedHold_ = false;
    const bool dry = wantPlay && heard < frames && (starving || starvedHold_);
    if (dry) {
        shared_.starvedFrames.fetch_add(static_cast<std::uint64_t>(frames - heard),
                                        std::memory_order_relaxed);
    }
    const bool short_ = starving || dry;
    if (short_ && !starvedBefore_)
        shared_.underruns.fetch_add(1, std::memory_order_relaxed);
    starvedBefore_ = short_;
    shared_.takenFrames.fetch_add(taken, std::memory_order_release);
    if (taken > 0 && shared_.feederSignal)
        shared_.feederSignal->post();
    return wantPlay || fade_ > 0.0F;
}

}  // namespace audiolib
