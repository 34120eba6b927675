// Plays one non-decoding stream on its device. Three threads meet here:
// - API threads: play/pause/stop, seek requests, position and recent data (all lock-free);
// - the device's feeder thread: topUp() renders the stream ahead into the block ring, converting
//   to stereo at the device rate, and records what it rendered in the data history;
// - the audio callback: the StreamVoice takes the blocks out (see PlaybackShared).
#ifndef TONVERA_AUDIOLIB_PLAYBACK_STREAMPLAYBACK_H
#define TONVERA_AUDIOLIB_PLAYBACK_STREAMPLAYBACK_H

#include <atomic>
#include <cstdint>
#include <vector>

#include "audiolib/dsp/Resampler.h"
#include "audiolib/dsp/StereoMapper.h"
#include "audiolib/playback/PlaybackShared.h"
#include "audiolib/playback/SampleHistory.h"
#include "audiolib/playback/StreamVoice.h"

namespace audiolib {

class Stream;

class StreamPlayback {
  public:
    enum class State { Stopped, Playing, Paused };

    // How far the feeder renders ahead of the callback. Short, because a change of tempo, pitch
    // or rate is only heard once what is already rendered has played. What SoundTouch holds
    // ready counts too, but the ring never runs below the minimum, which covers the feeder's
    // schedule on a busy machine.
    static constexpr double kAheadSeconds = 0.030;
    static constexpr double kMinAheadSeconds = 0.015;
    // Output frames the feeder aims to put into one block.
    static constexpr int kBlockFrames = 256;

    // Made by the stream, which outlives it.
    StreamPlayback(Stream& stream, int deviceRate);

    // ---- API threads ----
    void play();
    void pause();
    void stop();
    // Stops with the usual fade and waits (at most `timeoutMs`) until the callback has faded
    // the stream out, so that taking it away afterwards does not click. False on timeout (the
    // device is not running).
    bool stopAndFade(int timeoutMs);
    State state() const { return state_.load(std::memory_order_acquire); }
    // True once the stream played to its end (a looping stream never does).
    bool finished() const;
    // Heard from the next blocks on, after a short fade; position() reports the target at once.
    void requestSeek(double sourceFrame);
    // Source frame being heard now. Lock-free and cheap.
    double position() const;
    // The `frames` most recent frames heard, in the stream's own channel count, with its volume
    // and gain applied; older than the history reaches reads as zeros.
    void recentFrames(float* out, std::size_t frames) const;
    int historyChannels() const { return history_.channels(); }
    // Frames of silence played because the feeder fell behind.
    std::uint64_t starvedFrames() const {
        return shared_.starvedFrames.load(std::memory_order_relaxed);
    }

    Voice& voice() { return voice_; }

    // ---- the feeder thread ----
    // Renders until the ring holds kAheadSeconds; true when it rendered anything.
    bool topUp();

  private:
    bool renderBlock(AudioBlock& block);

    Stream& stream_;
    int deviceRate_;
    PlaybackShared shared_;
    StreamVoice voice_;
    SampleHistory history_;
    std::atomic<State> state_{State::Stopped};

    // Feeder-owned.
    StereoMapper mapper_;
    Resampler resampler_;
    std::vector<float> native_;
    std::vector<float> stereo_;
    std::uint32_t producedFrames_ = 0;  // of the handled generation, modulo 2^32
    std::uint32_t handledGeneration_ = 0;
    bool endReached_ = false;
    std::uint32_t aheadFrames_;
    std::uint32_t minAheadFrames_;
    std::uint32_t pendingFrames_ = 0;  // the stream's own ready output, in device frames
    // Frames of the current generation rendered but not yet heard.
    std::uint32_t queuedFrames() const;
};

}  // namespace audiolib

#endif
