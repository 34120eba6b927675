// A channel that produces frames: a file stream (SourceStream) or a tempo stream over one
// (TempoStream). A decoding stream is pulled by its caller through GetData; any other stream is
// played on its device through a StreamPlayback.
//
// Threads: rendering state (everything marked "holds mutex()") is used by one thread at a time,
// either an API thread pulling a decoding stream or the device's feeder thread. Attributes,
// levels and the freed flag are atomics that any thread may read; the audio callback reads only
// the playback's own atomics and never locks mutex().
#ifndef TONVERA_AUDIOLIB_STREAM_STREAM_H
#define TONVERA_AUDIOLIB_STREAM_STREAM_H

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "audiolib/core/LibObject.h"
#include "audiolib/stream/GainEffects.h"

namespace audiolib {

class Device;
class EncoderTap;
class StreamPlayback;
struct PlaybackTarget;

struct StreamFormat {
    int rate = 0;
    int channels = 0;
    int sourceBits = 0;
    std::uint64_t channelMask = 0;  // the speakers, as AudioDecoder::channelMask()
};

class Stream : public LibObject {
  public:
    Stream(std::weak_ptr<Device> device, std::uint64_t deviceSerial, std::uint32_t flags,
           StreamFormat format, std::uint64_t lengthFrames, std::string filename);
    ~Stream() override;

    std::uint32_t flags() const { return flags_; }
    bool decoding() const;
    bool floatSamples() const;
    bool looping() const;
    int rate() const { return format_.rate; }
    int channels() const { return format_.channels; }
    // For the downmix to the device (StereoMapper); 0 when the file names no speakers.
    std::uint64_t channelMask() const { return format_.channelMask; }
    int sourceBits() const { return format_.sourceBits; }
    const std::string& filename() const { return filename_; }
    // Bytes of one frame in the channel's own sample format (float or 16-bit).
    std::uint32_t bytesPerFrame() const;
    // In source frames; any thread, without the lock. Exact from the start for every file that
    // states its length (PCM, FLAC, MP4, Ogg, raw MPEG audio / AAC / AC-3 / DTS) and for every
    // stream made with BASS_STREAM_PRESCAN. A file of another container opened without it starts
    // with the container's estimate, which changes once, to the exact value, when the background
    // measurement ends (AudioDecoder::Measure::InBackground). Callers that show the length read
    // it again rather than keep it; positions are always clamped to it.
    virtual std::uint64_t lengthFrames() const { return lengthFrames_; }
    std::shared_ptr<Device> device() const { return device_.lock(); }

    // ---- rendering: the caller holds mutex() ----
    std::mutex& mutex() const { return mutex_; }
    // Writes up to `frames` interleaved float frames (channels() wide) without any gain effect;
    // fewer only when the stream has ended.
    virtual std::size_t render(float* out, std::size_t frames) = 0;
    // True once render() will deliver nothing more (until the next seek).
    virtual bool ended() const = 0;
    // Source frame of the next frame render() delivers.
    virtual double position() const = 0;
    // False (nothing changes) for a frame past the end.
    virtual bool seek(std::uint64_t frame) = 0;
    // Source frames that pass per rendered frame at the current settings.
    virtual double sourceFramesPerFrame() const = 0;
    // The rate the rendered frames are to be played at.
    virtual int playbackInputRate() const = 0;
    // Frames already rendered inside the stream's processing and waiting to be taken: made with
    // the settings of the moment, so a change is heard only after them.
    virtual std::size_t pendingFrames() const { return 0; }
    // Rendered frames after which position() jumps (a loop runs back to its start): a caller
    // that stamps blocks with positions ends a block there. Very large when nothing jumps.
    virtual std::size_t framesUntilJump() const { return static_cast<std::size_t>(-1); }

    // ---- attributes: any thread; BASS_OK or an error code, nothing changes on error ----
    virtual int setAttribute(std::uint32_t attribute, float value);
    virtual int getAttribute(std::uint32_t attribute, float* value) const;
    float volume() const { return volume_.load(std::memory_order_relaxed); }
    // The VOL attribute's storage, read by the audio callback.
    const std::atomic<float>& volumeLevel() const { return volume_; }
    // Bumped whenever an attribute that shapes rendering changes.
    std::uint32_t settingsVersion() const {
        return settingsVersion_.load(std::memory_order_acquire);
    }

    GainEffects& gains() { return gains_; }
    const GainEffects& gains() const { return gains_; }

    // Set once when the handle is freed; a feeder that still holds the stream then leaves it.
    // Sequentially consistent: a play racing the free either sees the flag after putting the
    // voice into the mixer, or the free sees (and removes) the voice.
    bool freed() const { return freed_.load(std::memory_order_seq_cst); }
    void markFreed() { freed_.store(true, std::memory_order_seq_cst); }

    // ---- encoders tapping a decoding stream: the caller holds mutex() ----
    std::vector<std::shared_ptr<EncoderTap>>& encoders() { return encoders_; }
    // Why the last encoder that failed on this channel failed, kept after it was stopped.
    std::string& encoderFailure() { return encoderFailure_; }
    // Feeds a block pulled through the stream to every live encoder.
    void feedEncoders(const float* frames, std::size_t count);

    // ---- playback of a non-decoding stream ----
    // nullptr until the stream is first played. Made and read under mutex(); it lives as long
    // as the stream once made.
    StreamPlayback* playback() const { return playback_.load(std::memory_order_acquire); }
    StreamPlayback& ensurePlayback(const PlaybackTarget& target);

  protected:
    // FREQ is common to every stream; subclasses add their own attributes around it.
    int setRateAttribute(float value);
    void bumpSettings() { settingsVersion_.fetch_add(1, std::memory_order_acq_rel); }
    float frequency() const { return frequency_.load(std::memory_order_relaxed); }

  private:
    std::weak_ptr<Device> device_;
    std::uint32_t flags_;
    StreamFormat format_;
    std::uint64_t lengthFrames_;
    std::string filename_;
    mutable std::mutex mutex_;
    std::atomic<float> volume_{1.0F};
    std::atomic<float> frequency_;
    std::atomic<std::uint32_t> settingsVersion_{0};
    std::atomic<bool> freed_{false};
    GainEffects gains_;
    std::vector<std::shared_ptr<EncoderTap>> encoders_;
    std::string encoderFailure_;
    std::unique_ptr<StreamPlayback> playbackOwner_;
    std::atomic<StreamPlayback*> playback_{nullptr};  // readable without the mutex
};

}  // namespace audiolib

#endif
