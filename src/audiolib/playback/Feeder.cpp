#include "audiolib/playback/Feeder.h"

#include <pthread.h>
#include <sched.h>

#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "audiolib/core/Config.h"
#include "audiolib/core/Diagnostics.h"
#include "audiolib/playback/StreamPlayback.h"
#include "audiolib/stream/Stream.h"

namespace audiolib {

namespace {

// The lowest real-time priority: above every normal thread, so busy programs cannot starve the
// feeder, and below the audio callback's (SDL asks for more), which must never wait for it.
constexpr int kFeederPriority = 1;

// Feeder thread, at its start. SCHED_FIFO directly where the process may (root, or an rtprio
// limit); otherwise through SDL, which asks the desktop's RealtimeKit over D-Bus.
void raisePriority() {
    sched_param param{};
    param.sched_priority = kFeederPriority;
    const int direct = pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
    if (direct == 0)
        return;
    if (SDL_LinuxSetThreadPriorityAndPolicy(static_cast<Sint64>(gettid()), kFeederPriority,
                                            SCHED_FIFO) == 0) {
        return;
    }
    char line[256];
    std::snprintf(line, sizeof line,
                  "audio: cannot raise the playback feeder to real-time priority (%s; RealtimeKit: "
                  "%s): playback may drop out while the machine is busy",
                  std::strerror(direct), SDL_GetError());
    diagnostic(line);
}

}  // namespace

Feeder::~Feeder() {
    shutdown();
}

void Feeder::add(std::shared_ptr<Stream> stream) {
    {
        std::lock_guard lock(mutex_);
        if (stopping_)
            return;
        if (std::find(streams_.begin(), streams_.end(), stream) == streams_.end()) {
            streams_.push_back(std::move(stream));
        }
        if (!thread_.joinable())
            thread_ = std::thread(&Feeder::run, this);
    }
    signal_.post();
}

void Feeder::wake() {
    {
        std::lock_guard lock(mutex_);
        if (!stopping_ && !thread_.joinable())
            thread_ = std::thread(&Feeder::run, this);
    }
    signal_.post();
}

void Feeder::remove(const Stream* stream) {
    std::lock_guard lock(mutex_);
    std::erase_if(streams_, [stream](const auto& held) { return held.get() == stream; });
}

void Feeder::shutdown() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        streams_.clear();
    }
    signal_.post();
    if (thread_.joinable())
        thread_.join();
}

void Feeder::reportUnderruns(const std::vector<std::shared_ptr<Stream>>& streams) {
    std::uint64_t underruns = 0;
    std::uint64_t starved = 0;
    for (const auto& stream : streams) {
        if (const StreamPlayback* playback = stream->playback()) {
            underruns += playback->underruns();
            starved += playback->starvedFrames();
        }
    }
    // Counters of streams that went away are gone with them; start counting anew.
    if (underruns < reportedUnderruns_)
        reportedUnderruns_ = underruns;
    const auto now = std::chrono::steady_clock::now();
    if (underruns == reportedUnderruns_ || now - lastReport_ < std::chrono::seconds(1))
        return;
    char line[200];
    std::snprintf(line, sizeof line,
                  "audio: playback ran dry %llu time(s) (%llu frames of silence in all): the "
                  "feeder fell behind",
                  static_cast<unsigned long long>(underruns - reportedUnderruns_),
                  static_cast<unsigned long long>(starved));
    diagnostic(line);
    reportedUnderruns_ = underruns;
    lastReport_ = now;
}

void Feeder::run() {
    raisePriority();
    std::vector<std::shared_ptr<Stream>> snapshot;
    int waitMs = kPeriodMs;
    bool wasBusy = false;
    auto lastPass = std::chrono::steady_clock::now();
    for (;;) {
        signal_.wait(waitMs);
        const auto now = std::chrono::steady_clock::now();
        if (wasBusy) {
            const std::int64_t gap =
                std::chrono::duration_cast<std::chrono::microseconds>(now - lastPass).count();
            if (gap > longestGapMicros_.load(std::memory_order_relaxed))
                longestGapMicros_.store(gap, std::memory_order_relaxed);
        }
        lastPass = now;
        {
            std::lock_guard lock(mutex_);
            if (stopping_)
                return;
            snapshot = streams_;
        }
        bool busy = false;
        // An update period of 0 means: leave the buffers alone (an offline render is running).
        const bool refill = Config::instance().updatePeriod() != 0;
        for (const auto& stream : snapshot) {
            // The playback exists before a stream is added and lives as long as the stream.
            if (stream->freed())
                continue;
            StreamPlayback* playback = stream->playback();
            if (refill)
                playback->topUp();
            busy = busy || playback->busy();
        }
        reportUnderruns(snapshot);
        wasBusy = busy;
        if (busy) {
            if (startOutput_)
                startOutput_();
            waitMs = kPeriodMs;
        } else {
            waitMs = idleCheck_ && !idleCheck_() ? kIdleCheckMs : -1;
        }
        snapshot.clear();
        {
            std::lock_guard lock(mutex_);
            for (auto it = streams_.begin(); it != streams_.end();) {
                if ((*it)->freed()) {
                    snapshot.push_back(std::move(*it));
                    it = streams_.erase(it);
                } else {
                    ++it;
                }
            }
        }
        // Dropping the last reference to a freed stream destroys it here: off the callback, and
        // outside the lock.
        snapshot.clear();
    }
}

}  // namespace audiolib
