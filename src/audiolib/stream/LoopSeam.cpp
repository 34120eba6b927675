#include "audiolib/stream/LoopSeam.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "audiolib/stream/SourceStream.h"

namespace audiolib {

LoopSeam::LoopSeam(int rate, int channels, std::size_t maxPull)
    : rate_(rate),
      channels_(channels),
      lead_(std::min(maxPull, static_cast<std::size_t>(std::lround(kCrossfadeSeconds * rate))) *
            static_cast<std::size_t>(channels)) {}

void LoopSeam::set(std::uint64_t start, std::uint64_t end) {
    std::lock_guard lock(mutex_);
    if (end <= start)
        start = end = 0;
    start_ = start;
    end_ = end;
    passes_.store(0, std::memory_order_release);
}

std::pair<std::uint64_t, std::uint64_t> LoopSeam::region() const {
    std::lock_guard lock(mutex_);
    return {start_, end_};
}

std::size_t LoopSeam::crossfadeFrames(std::uint64_t start, std::uint64_t end) const {
    // A very short loop keeps at least half of itself uncrossfaded.
    const std::size_t most = lead_.size() / static_cast<std::size_t>(channels_);
    return static_cast<std::size_t>(std::min<std::uint64_t>(most, (end - start) / 2));
}

LoopSeam::Pulled LoopSeam::wrapped(std::size_t frames) {
    return {frames, true, passes_.fetch_add(1, std::memory_order_acq_rel) + 1};
}

LoopSeam::Pulled LoopSeam::pull(SourceStream& source, float* out, std::size_t frames) {
    const auto [start, end] = region();
    const auto read = static_cast<std::uint64_t>(std::max(0.0, source.position()));
    const auto late = static_cast<std::uint64_t>(rate_);
    if (end == 0 || end > source.lengthFrames() || read < start || read >= end + late)
        return {source.render(out, frames), false};
    const std::size_t fade = crossfadeFrames(start, end);
    const std::uint64_t seamFrom = end - fade;
    if (read < seamFrom) {
        const auto before =
            static_cast<std::size_t>(std::min<std::uint64_t>(frames, seamFrom - read));
        return {source.render(out, before), false};
    }
    // The tail: what is left of the loop (or, read past its end, one crossfade's worth).
    std::size_t tail = read < end ? static_cast<std::size_t>(end - read) : fade;
    tail = std::min(tail, frames);
    const std::size_t got = source.render(out, tail);
    if (got < tail)
        return {got, false};  // the file ended before its stated length: no loop to close
    // What leads up to the start; before the file's first frame that is silence.
    const auto width = static_cast<std::size_t>(channels_);
    const std::size_t silent = start < tail ? tail - static_cast<std::size_t>(start) : 0;
    std::fill(lead_.begin(), lead_.begin() + static_cast<std::ptrdiff_t>(silent * width), 0.0F);
    if (!source.seek(start - (tail - silent)))
        return {got, false};
    const std::size_t led = source.render(lead_.data() + silent * width, tail - silent);
    // Read on from the lead, the source stands at the start already. A second seek there would
    // cost a decoder restart, and a decoder that needs what came before (Vorbis, MP3) would
    // begin the pass with a few milliseconds of silence.
    const bool atStart =
        std::llround(source.position()) == static_cast<long long>(start) || source.seek(start);
    if (led < tail - silent || !atStart) {
        source.seek(start);
        return wrapped(got);
    }
    for (std::size_t i = 0; i < tail; ++i) {
        // Raised cosine: the two gains sum to one, and neither has a corner.
        const double x = (static_cast<double>(i) + 0.5) / static_cast<double>(tail);
        const auto in = static_cast<float>(0.5 - 0.5 * std::cos(std::numbers::pi * x));
        for (std::size_t c = 0; c < width; ++c) {
            float& sample = out[i * width + c];
            sample = sample * (1.0F - in) + lead_[i * width + c] * in;
        }
    }
    return wrapped(got);
}

}  // namespace audiolib
