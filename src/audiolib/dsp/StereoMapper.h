// Maps interleaved frames of 1 to 8 channels onto stereo, for playback on a stereo device.
// Mono goes to both sides at full level; stereo passes through; wider layouts (FFmpeg's default
// channel orders for their count) use the usual downmix: centre and surround channels enter at
// -3 dB, the LFE channel is left out, and each output row is normalised so that a full-scale
// signal on every input cannot exceed full scale.
#ifndef TONVERA_AUDIOLIB_DSP_STEREOMAPPER_H
#define TONVERA_AUDIOLIB_DSP_STEREOMAPPER_H

#include <array>
#include <cstddef>

namespace audiolib {

class StereoMapper {
  public:
    static constexpr int kMaxChannels = 8;

    explicit StereoMapper(int channels);

    int channels() const { return channels_; }
    // The weight of input channel c on the left (side 0) or right (side 1) output.
    float weight(int side, int channel) const { return weights_[side][channel]; }
    // in: frames x channels(); out: frames x 2. May not alias.
    void map(const float* in, float* out, std::size_t frames) const;

  private:
    int channels_;
    std::array<std::array<float, kMaxChannels>, 2> weights_{};
};

}  // namespace audiolib

#endif
