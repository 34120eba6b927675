#include "audiolib/ffmpeg/FfmpegHolders.h"

#include <chrono>
#include <cstdarg>
#include <mutex>
#include <string>

extern "C" {
#include <libavutil/error.h>
#include <libavutil/log.h>
}

#include "audiolib/core/Diagnostics.h"

namespace audiolib::ffmpeg {

std::string errorText(int averror) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    if (av_strerror(averror, text, sizeof text) < 0) {
        return "FFmpeg error " + std::to_string(averror);
    }
    return text;
}

namespace {

// Hostile or damaged files can make FFmpeg warn thousands of times; the log keeps the first
// lines of every burst and says how many it left out.
constexpr int kLinesPerWindow = 20;
constexpr auto kWindow = std::chrono::seconds(10);

std::mutex limitMutex;
std::chrono::steady_clock::time_point windowStart;
int linesInWindow = 0;
long long droppedLines = 0;

void passOn(const std::string& text) {
    long long dropped = 0;
    {
        std::lock_guard lock(limitMutex);
        const auto now = std::chrono::steady_clock::now();
        if (now - windowStart >= kWindow) {
            windowStart = now;
            linesInWindow = 0;
        }
        if (linesInWindow >= kLinesPerWindow) {
            ++droppedLines;
            return;
        }
        ++linesInWindow;
        dropped = droppedLines;
        droppedLines = 0;
    }
    if (dropped > 0) {
        diagnostic(("FFmpeg: " + std::to_string(dropped) + " more messages left out").c_str());
    }
    diagnostic(("FFmpeg: " + text).c_str());
}

// Called by FFmpeg on whichever thread it works on (a feeder, an export, the main thread);
// never on the audio callback, which does not call FFmpeg.
void ffmpegLogLine(void* context, int level, const char* format, va_list args) {
    if (level > av_log_get_level()) {
        return;
    }
    // FFmpeg may build one line out of several calls; the pieces of a thread's line collect here.
    thread_local std::string pending;
    thread_local int printPrefix = 1;
    char piece[1024];
    av_log_format_line2(context, level, format, args, piece, sizeof piece, &printPrefix);
    pending += piece;
    if (pending.empty() || pending.back() != '\n') {
        if (pending.size() < 4096) {
            return;
        }
    }
    while (!pending.empty() && (pending.back() == '\n' || pending.back() == '\r')) {
        pending.pop_back();
    }
    if (!pending.empty()) {
        passOn(pending);
    }
    pending.clear();
}

}  // namespace

void routeFfmpegLogging() {
    static std::once_flag once;
    // Warnings and errors only: FFmpeg's informational chatter says nothing a user can act on.
    std::call_once(once, [] {
        av_log_set_level(AV_LOG_WARNING);
        av_log_set_callback(ffmpegLogLine);
    });
}

}  // namespace audiolib::ffmpeg
