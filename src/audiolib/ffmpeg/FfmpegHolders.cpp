#include "audiolib/ffmpeg/FfmpegHolders.h"

#include <mutex>

extern "C" {
#include <libavutil/error.h>
#include <libavutil/log.h>
}

namespace audiolib::ffmpeg {

std::string errorText(int averror) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    if (av_strerror(averror, text, sizeof text) < 0) {
        return "FFmpeg error " + std::to_string(averror);
    }
    return text;
}

void quietFfmpegLogging() {
    static std::once_flag once;
    // Hostile or damaged files can make FFmpeg print thousands of lines; failures reach the user
    // through our own error texts instead.
    std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

}  // namespace audiolib::ffmpeg
