// Turns decoded frames of any sample format into interleaved 32-bit float at the same rate, with
// the channel count fixed at open (a stream that changes its layout midway is remixed to it).
// Not thread-safe.
#ifndef TONVERA_AUDIOLIB_FFMPEG_FLOATCONVERTER_H
#define TONVERA_AUDIOLIB_FFMPEG_FLOATCONVERTER_H

#include <cstddef>
#include <string>

#include "audiolib/ffmpeg/FfmpegHolders.h"

namespace audiolib::ffmpeg {

class FloatConverter {
  public:
    FloatConverter(int sampleRate, int channels);
    ~FloatConverter();
    FloatConverter(const FloatConverter&) = delete;
    FloatConverter& operator=(const FloatConverter&) = delete;

    // Writes frame.nb_samples frames to out (room for that many); returns the frames written,
    // 0 when the frame cannot be converted.
    std::size_t convert(const AVFrame& frame, float* out);

  private:
    bool configureFor(const AVFrame& frame);

    int sampleRate_;
    AVChannelLayout outLayout_{};
    AVChannelLayout inLayout_{};
    int inFormat_ = -1;
    SwrPtr swr_;
};

}  // namespace audiolib::ffmpeg

#endif
