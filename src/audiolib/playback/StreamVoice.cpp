#include "audiolib/playback/StreamVoice.h"

#include <algorithm>

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

void StreamVoice::mixInto(float* stereo, int frames) {
    const std::uint32_t generation = shared_.generation.load(std::memory_order_acquire);
    const bool wantPlay = shared_.wantPlay.load(std::memory_order_acquire);
    const float level =
        shared_.volume.load(std::memory_order_relaxed) * shared_.gains.allChannels();
    if (fade_ == 0.0F) {
        level_.jumpTo(level);
    } else {
        level_.setTarget(level);
    }
    if (generation != countedGeneration_) {
        countedGeneration_ = generation;
        countedFrames_ = 0;
    }
    std::uint32_t consumed = 0;
    bool published = false;
    int done = 0;
    while (AudioBlock* block = shared_.ring.readable()) {
        const bool stale = block->generation != generation;
        const float target = wantPlay && !stale ? 1.0F : 0.0F;
        if (fade_ == 0.0F && target == 0.0F) {
            if (!stale)
                break;  // paused or stopped: hold the position
            // A seek was asked for and the old audio has faded out: drop it unheard.
            offset_ = 0;
            shared_.ring.release();
            continue;
        }
        if (!published) {
            publishStart(*block, offset_);
            published = true;
        }
        if (done == frames)
            break;
        const int count = std::min(frames - done, block->frames - offset_);
        const float* in = block->samples.data() + 2 * offset_;
        float* out = stereo + 2 * done;
        int k = 0;
        while (k < count) {
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
        if (!stale)
            consumed += static_cast<std::uint32_t>(k);
        if (offset_ >= block->frames) {
            const bool last = block->last && !stale;
            if (last) {
                shared_.heard.publish(valueAt(*block, block->frames));
                hasPrevious_ = false;
                shared_.finishedGeneration.store(generation, std::memory_order_release);
                fade_ = 0.0F;
            }
            offset_ = 0;
            shared_.ring.release();
        }
    }
    if (!published)
        hasPrevious_ = false;  // nothing went out: nothing of ours is in the device
    shared_.audible.store(fade_ > 0.0F, std::memory_order_release);
    // Wanted to play but the ring ran dry before the end of the stream.
    if (done < frames && wantPlay && fade_ > 0.0F && !shared_.ring.readable()) {
        shared_.starvedFrames.fetch_add(static_cast<std::uint64_t>(frames - done),
                                        std::memory_order_relaxed);
    }
    countedFrames_ += consumed;
    shared_.consumed.store(PlaybackShared::packConsumed(countedGeneration_, countedFrames_),
                           std::memory_order_release);
}

}  // namespace audiolib
