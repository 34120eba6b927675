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

class FeederSignal;
class Stream;

// The device a stream plays on, as its playback needs it.
struct PlaybackTarget {
    int rate = 44100;
    int callbackFrames = 512;              // what one audio callback takes
    FeederSignal* feederSignal = nullptr;  // nudged by the callback; null in hand-driven tests
    // The device's frame counter, read by the callback for a start at a given frame; null in
    // hand-driven tests (a start is then immediate).
    const std::atomic<std::uint64_t>* clock = nullptr;
};

class StreamPlayback {
  public:
    enum class State { Stopped, Playing, Paused };

    // How far the feeder keeps the ring ahead of the callback: at least two callbacks plus a
    // margin for the feeder's own scheduling jitter, so a feeder that misses one top-up still
    // leaves a whole callback of audio. Only what is in the ring counts (audio still inside the
    // stretcher cannot be played by the callback). Kept short otherwise, because a change of
    // tempo, pitch or rate is heard only once what is already rendered has played.
    static constexpr double kAheadSeconds = 0.030;
    static constexpr double kJitterSeconds = 0.006;
    // Output frames the feeder aims to put into one block.
    static constexpr int kBlockFrames = 256;

    // Made by the stream, which outlives it.
    StreamPlayback(Stream& stream, const PlaybackTarget& target);

    // ---- API threads ----
    void play();
    // Plays, but heard only from the device frame `frame` on (a count-in before the music);
    // until then the stream holds its position. A frame already past plays at once.
    void playAt(std::uint64_t frame);
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
    // How many times the ring ran dry while playing.
    std::uint64_t underruns() const { return shared_.underruns.load(std::memory_order_relaxed); }
    // True while the stream is meant to sound or still fades out.
    bool busy() const;
    // Frames the ring holds ahead of the callback for the current seek (feeder thread).
    std::uint64_t queuedFrames() const;
    std::uint64_t aheadFrames() const { return aheadFrames_; }

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
    // Every frame published into the ring so far, and where the handled generation's frames
    // begin among them: the ring is in order, so frames before that are older audio.
    std::uint64_t publishedFrames_ = 0;
    std::uint64_t generationStart_ = 0;
    std::uint32_t handledGeneration_ = 0;
    bool endReached_ = false;
    std::uint64_t aheadFrames_;
};

}  // namespace audiolib

#endif
