// The state a playing stream shares between API threads, its device's feeder thread and the
// audio callback. Every field is an atomic or the lock-free ring; nobody waits for anybody.
#ifndef TONVERA_AUDIOLIB_PLAYBACK_PLAYBACKSHARED_H
#define TONVERA_AUDIOLIB_PLAYBACK_PLAYBACKSHARED_H

#include <atomic>
#include <cstdint>
#include <limits>

#include "audiolib/playback/BlockRing.h"
#include "audiolib/playback/PlayPosition.h"

namespace audiolib {

class FeederSignal;
class GainEffects;

struct PlaybackShared {
    PlaybackShared(const std::atomic<float>& volumeLevel, const GainEffects& gainEffects)
        : volume(volumeLevel), gains(gainEffects) {}

    BlockRing ring;                     // feeder -> callback
    PlayPosition heard;                 // callback -> API threads
    std::atomic<bool> wantPlay{false};  // API -> callback: fade in / fade out and hold
    // API -> feeder and callback: every seek request bumps it. The feeder seeks to seekTarget
    // when it sees a new value; the callback fades out and drops blocks of older values.
    std::atomic<std::uint32_t> generation{0};
    std::atomic<double> seekTarget{0.0};
    // Callback -> API: the generation whose last block has been played (the stream ended).
    std::atomic<std::uint32_t> finishedGeneration{std::numeric_limits<std::uint32_t>::max()};
    // Callback -> feeder: every frame that has left the ring so far, heard or dropped as stale,
    // counted per block as it goes. The feeder counts what it published the same way, so the
    // difference is exactly what the ring holds, whatever generation the callback saw.
    std::atomic<std::uint64_t> takenFrames{0};
    // Callback -> feeder: nudged after each callback so the feeder tops up right away. Set by
    // the device before the voice reaches the mixer; may be null (tests drive the feeder).
    FeederSignal* feederSignal = nullptr;
    // API -> callback: a device frame before which a wanted play stays silent and holds (0:
    // none), and the device clock to compare it with (null: no such starts).
    std::atomic<std::uint64_t> startAt{0};
    const std::atomic<std::uint64_t>* clock = nullptr;
    // Callback -> API: whether the last callback left the stream at a level above zero.
    std::atomic<bool> audible{false};
    // Callback -> anyone: frames the callback wanted to play but found no audio for (the feeder
    // fell behind), and how many times that began. Zero on a healthy system.
    std::atomic<std::uint64_t> starvedFrames{0};
    std::atomic<std::uint64_t> underruns{0};
    // The stream's VOL attribute and gain effects, read by the callback for every block.
    const std::atomic<float>& volume;
    const GainEffects& gains;
};

}  // namespace audiolib

#endif
