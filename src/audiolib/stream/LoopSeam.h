// An A-B loop in the source: reads run from the loop's end straight back to its start, with a
// short crossfade into what leads up to the start, so the seam neither clicks nor leaves a gap
// and the start itself is heard at full level on its exact frame.
//
// It also counts the passes: the times a read ran back to the start since the loop was set.
//
// Threads: set()/clear()/region()/passes()/restartCount() from API threads; pull() from whoever
// renders the stream that owns the seam (the feeder or a thread pulling a decoding stream), with
// the source's mutex held. The region is kept under a mutex of its own that pull() holds only to
// copy it; the pass count is an atomic.
#ifndef TONVERA_AUDIOLIB_STREAM_LOOPSEAM_H
#define TONVERA_AUDIOLIB_STREAM_LOOPSEAM_H

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <utility>
#include <vector>

namespace audiolib {

class SourceStream;

class LoopSeam {
  public:
    static constexpr double kCrossfadeSeconds = 0.010;

    // `maxPull` is the most frames pull() is ever asked for; the crossfade fits in one pull.
    LoopSeam(int rate, int channels, std::size_t maxPull);

    // Source frames; an end not after the start clears the loop. Counting passes starts again.
    void set(std::uint64_t start, std::uint64_t end);
    void clear() { set(0, 0); }
    // {0, 0} when there is none.
    std::pair<std::uint64_t, std::uint64_t> region() const;

    struct Pulled {
        std::size_t frames = 0;
        bool wrapped = false;    // the block ends where the loop starts again
        std::uint32_t pass = 0;  // when wrapped: the pass that ended there, counted from 1
    };
    // Reads up to `frames` frames from the source, stopping at the seam: a block never runs
    // across it. Reads past the end of the loop (it was set or moved behind the read position
    // a moment ago) wrap at once, if they are less than a second past it; further away the
    // loop waits until playback comes back into it.
    Pulled pull(SourceStream& source, float* out, std::size_t frames);

    // Times a read has run back to the loop's start since the loop was set or restartCount().
    // Counted when the seam is read, a little before it is heard.
    std::uint32_t passes() const { return passes_.load(std::memory_order_acquire); }
    void restartCount() { passes_.store(0, std::memory_order_release); }

  private:
    std::size_t crossfadeFrames(std::uint64_t start, std::uint64_t end) const;
    Pulled wrapped(std::size_t frames);

    int rate_;
    int channels_;
    mutable std::mutex mutex_;
    std::uint64_t start_ = 0;
    std::uint64_t end_ = 0;
    std::vector<float> lead_;  // what leads up to the start, for the crossfade
    std::atomic<std::uint32_t> passes_{0};
};

}  // namespace audiolib

#endif
