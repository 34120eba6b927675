// Resamples interleaved float audio for an encoder that cannot take the source's rate (AAC has a
// fixed list of rates; an export at a changed playback rate can ask for any). Not thread-safe.
#ifndef TONVERA_AUDIOLIB_FFMPEG_RATEADAPTER_H
#define TONVERA_AUDIOLIB_FFMPEG_RATEADAPTER_H

#include <cstddef>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "audiolib/ffmpeg/FfmpegHolders.h"

namespace audiolib::ffmpeg {

class RateAdapter {
  public:
    // nullptr (and *error) when swresample cannot be set up.
    static std::unique_ptr<RateAdapter> create(int inRate, int outRate, int channels,
                                               std::string* error);

    // The resampled frames for this input (possibly none yet), valid until the next call;
    // nullopt when swresample fails.
    std::optional<std::span<const float>> convert(const float* interleaved, std::size_t frames);
    // What the resampler still holds, at the end of the input.
    std::optional<std::span<const float>> flush();

  private:
    RateAdapter() = default;
    std::optional<std::span<const float>> run(const float* interleaved, std::size_t frames);

    SwrPtr swr_;
    int channels_ = 0;
    std::vector<float> out_;
};

}  // namespace audiolib::ffmpeg

#endif
