// Converts interleaved float frames from one sample rate to another through libswresample: the
// one wrapper of it for float audio, used by the playback path (stream rate -> device rate), by
// samples (file rate -> device rate) and by the file encoders (for a codec that cannot take the
// source's rate). Used by one thread at a time (a feeder, a loader or an encoding thread).
#ifndef TONVERA_AUDIOLIB_DSP_RESAMPLER_H
#define TONVERA_AUDIOLIB_DSP_RESAMPLER_H

#include <memory>
#include <string>

struct SwrContext;

namespace audiolib {

class Resampler {
  public:
    Resampler(int channels, int outputRate);
    ~Resampler();
    Resampler(const Resampler&) = delete;
    Resampler& operator=(const Resampler&) = delete;

    // Rebuilds the converter when the rate differs from the current one (buffered frames are
    // dropped, which only happens when the playback rate of a plain stream changes). False with a
    // reason when libswresample refuses; the resampler then passes frames through unchanged.
    bool setInputRate(int rate, std::string* error);
    int inputRate() const { return inputRate_; }
    int outputRate() const { return outputRate_; }
    bool passthrough() const { return !context_; }

    // Output frames that process() may write for inFrames more input frames.
    int maxOutputFrames(int inFrames) const;
    // Writes at most outCapacity frames; what does not fit stays buffered for the next call.
    // in == nullptr lets out what the converter still holds (at the end of the input).
    // Returns the frames written; 0 also when libswresample failed (see failed()).
    int process(const float* in, int inFrames, float* out, int outCapacity);
    // True once a conversion has failed; the output is then incomplete.
    bool failed() const { return failed_; }
    // Forgets what is buffered (after a seek).
    void reset();

  private:
    struct SwrDeleter {
        void operator()(SwrContext* context) const;
    };
    int channels_;
    int outputRate_;
    int inputRate_;
    bool failed_ = false;
    std::unique_ptr<SwrContext, SwrDeleter> context_;
};

}  // namespace audiolib

#endif
