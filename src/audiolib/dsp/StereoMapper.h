// Maps interleaved frames of 1 to 8 channels onto stereo, for playback on a stereo device.
// Mono goes to both sides at full level; stereo passes through; wider layouts use the downmix
// that libswresample builds for the file's own speaker layout (centre and surround channels at
// -3 dB, the LFE channel left out, a 2.1 file's LFE not taken for a centre). Every output row
// is then scaled so that a full-scale signal on every input cannot exceed full scale: the
// downmix runs after the stream's limiter, so nothing later would catch an overshoot, and a
// wide file plays a little quieter rather than clipping.
#ifndef TONVERA_AUDIOLIB_DSP_STEREOMAPPER_H
#define TONVERA_AUDIOLIB_DSP_STEREOMAPPER_H

#include <array>
#include <cstddef>
#include <cstdint>

namespace audiolib {

class StereoMapper {
  public:
    static constexpr int kMaxChannels = 8;

    // layoutMask: the speakers of the channels in order, as FFmpeg's AV_CH_* bits (the same as
    // WAVE_FORMAT_EXTENSIBLE's channel mask); 0, or a mask that does not name `channels`
    // speakers, means FFmpeg's default layout for that count.
    explicit StereoMapper(int channels, std::uint64_t layoutMask = 0);

    int channels() const { return channels_; }
    // The weight of input channel c on the left (side 0) or right (side 1) output.
    float weight(int side, int channel) const { return weights_[side][channel]; }
    // in: frames x channels(); out: frames x 2. May not alias. Real-time safe.
    void map(const float* in, float* out, std::size_t frames) const;

  private:
    int channels_;
    std::array<std::array<float, kMaxChannels>, 2> weights_{};
};

}  // namespace audiolib

#endif
