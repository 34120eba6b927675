#include "engine/OverviewBuilder.h"

#include <memory>
#include <utility>

#include "audiolib/AudioDecoder.h"
#include "logging/Console.h"

OverviewBuilder::OverviewBuilder(std::string utf8Path, std::string key, Cache cache)
    : worker_([path = std::move(utf8Path), key = std::move(key), cache = std::move(cache)](
                  Worker::JobState& state) { return build(path, key, cache, state); }) {}

OverviewBuilder::Worker::Outcome OverviewBuilder::build(const std::string& path,
                                                        const std::string& key, const Cache& cache,
                                                        Worker::JobState& state) {
    std::optional<OverviewPeaks> peaks;
    std::string why;
    if (cache.load) {
        peaks = overviewpeaks::deserialize(cache.load(), key);
    }
    if (!peaks) {
        std::unique_ptr<audiolib::AudioDecoder> decoder = audiolib::AudioDecoder::open(path, &why);
        if (decoder) {
            peaks = overviewpeaks::compute(*decoder, &state.progress, &state.cancel);
            if (!peaks && !state.cancelled())
                why = "the file holds no audio";
        }
        if (peaks && cache.store) {
            cache.store(overviewpeaks::serialize(*peaks, key));
        }
    }
    if (!peaks && !state.cancelled()) {
        console("overview: %s cannot be read: %s", path.c_str(), why.c_str());
    }
    return {std::move(peaks), std::move(why)};
}
