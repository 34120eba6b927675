// Converts interleaved float frames from one sample rate to another through libswresample, for
// the playback path (stream rate -> device rate). Used by one thread at a time (a feeder).
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
    int process(const float* in, int inFrames, float* out, int outCapacity);
    // Forgets what is buffered (after a seek).
    void reset();

  private:
    struct SwrDeleter {
        void operator()(SwrContext* context) const;
    };
    int channels_;
    int outputRate_;
    int inputRate_;
    std::unique_ptr<SwrContext, SwrDeleter> context_;
};

}  // namespace audiolib

#endif
