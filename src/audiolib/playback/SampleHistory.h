// The recent past of a playing channel in its own channel count and rate, for spectrum and
// waveform data. The feeder appends frames as it renders them; readers copy the frames that end
// at the position the callback reports as heard.
//
// No lock: the feeder only ever writes at most a few hundred milliseconds ahead of what is heard,
// and readers only read at most kMaxReadSeconds behind it, so with a capacity of two seconds the
// two regions never overlap. A reader stalled for over a second could see a few overwritten
// frames (a torn read); for a picture of the sound that is harmless.
#ifndef TONVERA_AUDIOLIB_PLAYBACK_SAMPLEHISTORY_H
#define TONVERA_AUDIOLIB_PLAYBACK_SAMPLEHISTORY_H

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace audiolib {

class SampleHistory {
  public:
    static constexpr double kMaxReadSeconds = 0.5;

    SampleHistory(int channels, int rate);

    int channels() const { return channels_; }
    std::size_t maxReadFrames() const { return maxRead_; }

    // Feeder thread.
    void write(const float* interleaved, std::size_t frames);
    // Frames written so far (the position the next write starts at).
    std::uint64_t written() const { return written_.load(std::memory_order_acquire); }

    // Copies the `frames` frames that end just before `endFrame` into `out`, oldest first.
    // Frames never written (before the start, or at/after what was written) read as zero;
    // `frames` beyond maxReadFrames() are zeros too.
    void read(std::uint64_t endFrame, float* out, std::size_t frames) const;

  private:
    int channels_;
    std::size_t capacity_;
    std::size_t maxRead_;
    std::vector<float> samples_;
    std::atomic<std::uint64_t> written_{0};
};

}  // namespace audiolib

#endif
