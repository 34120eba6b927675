#include "engine/TuningDetector.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "audiolib/AudioDecoder.h"
#include "logging/Console.h"

TuningDetector::TuningDetector(std::string utf8Path)
    : worker_(
          [path = std::move(utf8Path)](Worker::JobState& state) { return listen(path, state); }) {}

TuningDetector::Worker::Outcome TuningDetector::listen(const std::string& path,
                                                       const Worker::JobState& state) {
    std::optional<audiolib::Tuning> tuning;
    std::string why;
    if (std::unique_ptr<audiolib::AudioDecoder> decoder =
            audiolib::AudioDecoder::open(path, &why)) {
        const int rate = decoder->sampleRate();
        const auto channels = static_cast<std::size_t>(std::max(1, decoder->channels()));
        const auto wanted = static_cast<std::size_t>(kListenSeconds * rate);
        constexpr std::size_t kBlockFrames = 8192;
        std::vector<float> block(kBlockFrames * channels);
        std::vector<float> mono;
        mono.reserve(std::min<std::size_t>(wanted, decoder->lengthFrames()));
        while (mono.size() < wanted && !state.cancelled()) {
            const std::size_t got =
                decoder->read(block.data(), std::min(kBlockFrames, wanted - mono.size()));
            if (got == 0)
                break;
            for (std::size_t frame = 0; frame < got; ++frame) {
                float sum = 0.0F;
                for (std::size_t c = 0; c < channels; ++c)
                    sum += block[frame * channels + c];
                mono.push_back(sum / static_cast<float>(channels));
            }
        }
        if (!state.cancelled()) {
            tuning = audiolib::estimateTuning(mono.data(), mono.size(), rate);
            if (!tuning)
                why = "there is too little tonal music in the first minute to tell";
        }
    }
    if (!tuning && !state.cancelled())
        console("tuning: %s cannot be measured: %s", path.c_str(), why.c_str());
    return {tuning, std::move(why)};
}
