#include "audiolib/ffmpeg/LengthScan.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <utility>

#include "audiolib/core/Diagnostics.h"

namespace audiolib::ffmpeg {

void reportLengthCap(const std::string& path) {
    const std::string line = "AudioDecoder: " + path + " is longer than " +
                             std::to_string(kMaxLengthSeconds / 3600) +
                             " hours; only that much of it is played";
    diagnostic(line.c_str());
}

ScanResult scanLength(FfmpegInput& input, const ScanRequest& request) {
    ScanResult result;
    input.setPacketObserver([&result, &request](const AVPacket& pkt) {
        if (result.firstPacketPos < 0) {
            result.firstPacketPos = pkt.pos;
        }
        const std::int64_t ts = pkt.pts != AV_NOPTS_VALUE ? pkt.pts : pkt.dts;
        if (request.indexPackets && ts != AV_NOPTS_VALUE) {
            result.packetIndex.add(pkt.pos, ts);
        }
    });
    std::uint64_t frames = 0;
    if (request.packetsOnly) {
        while (input.skimPacket() &&
               !(request.stop && request.stop->load(std::memory_order_relaxed))) {
        }
        input.setPacketObserver(nullptr);
        return result;
    }
    while (const AVFrame* frame = input.nextFrame()) {
        if (const auto ts = input.frameStartSamples(*frame)) {
            result.frameIndex.add(*ts, frames);
        }
        frames += static_cast<std::uint64_t>(frame->nb_samples);
        if (frames > request.cap) {
            result.capped = true;
            break;
        }
        if (request.stop && request.stop->load(std::memory_order_relaxed)) {
            break;
        }
    }
    input.setPacketObserver(nullptr);
    result.frames = std::min({frames, request.cap, request.declaredLength});
    return result;
}

LengthScan::LengthScan(std::string path, int sampleRate, ScanRequest request,
                       std::atomic<std::uint64_t>& reported)
    : request_(request), reported_(reported) {
    request_.stop = &stop_;
    thread_ = std::thread(&LengthScan::run, this, std::move(path), sampleRate);
}

LengthScan::~LengthScan() {
    stop_.store(true, std::memory_order_relaxed);
    if (thread_.joinable()) {
        thread_.join();
    }
}

void LengthScan::run(std::string path, int sampleRate) {
    // Below the UI and far below the feeder: on a busy machine the measurement waits, the
    // music does not. Best effort: an unprivileged thread may always lower its own priority.
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), 10);
    std::optional<ScanResult> result;
    if (auto input = FfmpegInput::open(path, nullptr)) {
        input->lockSampleRate(sampleRate);
        result = scanLength(*input, request_);
        if (result->capped) {
            reportLengthCap(path);
        }
    }
    const bool stopped = stop_.load(std::memory_order_relaxed);
    {
        std::lock_guard lock(mutex_);
        if (!stopped && result && (result->frames > 0 || request_.packetsOnly)) {
            if (!request_.packetsOnly) {
                reported_.store(result->frames, std::memory_order_release);
            }
            result_ = std::move(result);
        }
    }
    finished_.store(true, std::memory_order_release);
}

void LengthScan::wait() {
    if (thread_.joinable()) {
        thread_.join();
    }
}

std::optional<ScanResult> LengthScan::take() {
    std::lock_guard lock(mutex_);
    return std::exchange(result_, std::nullopt);
}

}  // namespace audiolib::ffmpeg
