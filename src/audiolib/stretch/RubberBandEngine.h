// The best-quality engine: Rubber Band's R3 ("finer") engine in real-time mode.
#ifndef TONVERA_AUDIOLIB_STRETCH_RUBBERBANDENGINE_H
#define TONVERA_AUDIOLIB_STRETCH_RUBBERBANDENGINE_H

#include <memory>
#include <vector>

#include "audiolib/stretch/StretchEngine.h"

namespace RubberBand {
class RubberBandStretcher;
}

namespace audiolib {

class RubberBandEngine : public StretchEngine {
  public:
    RubberBandEngine(int rate, int channels);
    ~RubberBandEngine() override;

    const char* name() const override { return "Rubber Band R3"; }
    void setSettings(const StretchSettings& settings) override;
    void reset() override;
    std::size_t startPad() const override;
    std::size_t startDelay() const override;
    void put(const float* frames, std::size_t count) override;
    std::size_t available() const override;
    std::size_t take(float* out, std::size_t frames) override;
    std::size_t committedFrames() const override;

  private:
    std::size_t channels_;
    std::unique_ptr<RubberBand::RubberBandStretcher> stretcher_;
    // De-interleaved working buffers, kMaxPutFrames per channel, and their channel pointers.
    std::vector<float> planar_;
    std::vector<float*> planes_;
};

}  // namespace audiolib

#endif
