#include "engine/OverviewBuilder.h"

#include <utility>

#include "audiolib/AudioDecoder.h"
#include "logging/Console.h"

OverviewBuilder::OverviewBuilder(std::string utf8Path, std::string key, Cache cache)
    : worker_([this, path = std::move(utf8Path), key = std::move(key),
               cache = std::move(cache)]() mutable {
          run(std::move(path), std::move(key), std::move(cache));
      }) {}

OverviewBuilder::~OverviewBuilder() {
    cancel_.store(true, std::memory_order_relaxed);
    if (worker_.joinable())
        worker_.join();
}

std::optional<OverviewPeaks> OverviewBuilder::take() {
    const std::lock_guard<std::mutex> lock(resultLock_);
    return std::exchange(result_, std::nullopt);
}

std::string OverviewBuilder::failure() const {
    const std::lock_guard<std::mutex> lock(resultLock_);
    return failure_;
}

// Worker thread.
void OverviewBuilder::run(std::string path, std::string key, Cache cache) {
    std::optional<OverviewPeaks> peaks;
    std::string why;
    if (cache.load) {
        peaks = overviewpeaks::deserialize(cache.load(), key);
    }
    if (!peaks) {
        std::unique_ptr<audiolib::AudioDecoder> decoder = audiolib::AudioDecoder::open(path, &why);
        if (decoder) {
            peaks = overviewpeaks::compute(*decoder, &progress_, &cancel_);
            if (!peaks && !cancel_.load(std::memory_order_relaxed))
                why = "the file holds no audio";
        }
        if (peaks && cache.store) {
            cache.store(overviewpeaks::serialize(*peaks, key));
        }
    }
    if (!peaks && !cancel_.load(std::memory_order_relaxed)) {
        console("overview: %s cannot be read: %s", path.c_str(), why.c_str());
    }
    progress_.store(1.0F, std::memory_order_relaxed);
    {
        const std::lock_guard<std::mutex> lock(resultLock_);
        result_ = std::move(peaks);
        failure_ = std::move(why);
    }
    finished_.store(true, std::memory_order_release);
}
