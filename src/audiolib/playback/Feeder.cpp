#include "audiolib/playback/Feeder.h"

#include <algorithm>
#include <chrono>

#include "audiolib/core/Config.h"
#include "audiolib/playback/StreamPlayback.h"
#include "audiolib/stream/Stream.h"

namespace audiolib {

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
        woken_ = true;
    }
    wakeUp_.notify_one();
}

void Feeder::remove(const Stream* stream) {
    std::lock_guard lock(mutex_);
    std::erase_if(streams_, [stream](const auto& held) { return held.get() == stream; });
}

void Feeder::wake() {
    {
        std::lock_guard lock(mutex_);
        woken_ = true;
    }
    wakeUp_.notify_one();
}

void Feeder::shutdown() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        streams_.clear();
    }
    wakeUp_.notify_one();
    if (thread_.joinable())
        thread_.join();
}

void Feeder::run() {
    std::vector<std::shared_ptr<Stream>> snapshot;
    for (;;) {
        {
            std::unique_lock lock(mutex_);
            wakeUp_.wait_for(lock, std::chrono::milliseconds(kPeriodMs),
                             [this] { return woken_ || stopping_; });
            if (stopping_)
                return;
            woken_ = false;
            snapshot = streams_;
        }
        // An update period of 0 means: leave the buffers alone (an offline render is running).
        if (Config::instance().updatePeriod() != 0) {
            for (const auto& stream : snapshot) {
                // The playback exists before a stream is added and lives as long as the stream.
                if (!stream->freed())
                    stream->playback()->topUp();
            }
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
