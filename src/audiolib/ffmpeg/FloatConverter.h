// Turns decoded frames of any sample format into interleaved 32-bit float at the same rate, with
// the channel layout fixed at open: the first frame's, so that the speakers stay known to the
// downmix (a stream that changes its layout midway is remixed to it).
// Not thread-safe.
#ifndef TONVERA_AUDIOLIB_FFMPEG_FLOATCONVERTER_H
#define TONVERA_AUDIOLIB_FFMPEG_FLOATCONVERTER_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "audiolib/ffmpeg/FfmpegHolders.h"

namespace audiolib::ffmpeg {

class FloatConverter {
  public:
    // A layout that does not name its speakers is taken as FFmpeg's default for its count.
    FloatConverter(int sampleRate, const AVChannelLayout& layout);
    ~FloatConverter();
    FloatConverter(const FloatConverter&) = delete;
    FloatConverter& operator=(const FloatConverter&) = delete;

    // Writes frame.nb_samples frames to out (room for that many); returns the frames written,
    // 0 when the frame cannot be converted.
    std::size_t convert(const AVFrame& frame, float* out);
    // The speakers of the delivered channels as AV_CH_* bits; 0 when the file names none.
    std::uint64_t channelMask() const { return mask_; }

  private:
    bool configureFor(const AVFrame& frame);

    int sampleRate_;
    AVChannelLayout outLayout_{};
    AVChannelLayout inLayout_{};
    int inFormat_ = -1;
    std::uint64_t mask_ = 0;
    SwrPtr swr_;
};

}  // namespace audiolib::ffmpeg

#endif
