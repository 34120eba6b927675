// What the anti-alias filter costs: nanoseconds per stereo frame, in the blocks the tempo stream
// feeds it (1024 frames), at a pitch factor that makes it filter and at one that only delays.
//
//   antialias_filter [seconds of music=60]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "BenchSupport.h"
#include "audiolib/dsp/AntiAliasFilter.h"

namespace {

// Filters the whole signal in blocks, a few times over; the best pass is the one least disturbed
// by whatever else runs on the machine.
double nanosecondsPerFrame(const std::vector<float>& music, double pitchFactor) {
    constexpr int kChannels = 2;
    constexpr int kPasses = 5;
    const std::size_t frames = music.size() / kChannels;
    std::vector<float> block(audiolib::AntiAliasFilter::kMaxFrames * kChannels);
    audiolib::AntiAliasFilter filter(kChannels);
    filter.setPitchFactor(pitchFactor);
    double best = 1e300;
    float keep = 0.0F;
    for (int pass = 0; pass < kPasses; ++pass) {
        filter.reset();
        const auto start = std::chrono::steady_clock::now();
        for (std::size_t at = 0; at < frames; at += audiolib::AntiAliasFilter::kMaxFrames) {
            const std::size_t count = std::min(audiolib::AntiAliasFilter::kMaxFrames, frames - at);
            std::copy_n(music.data() + at * kChannels, count * kChannels, block.data());
            const std::size_t written = filter.process(block.data(), count);
            if (written > 0)
                keep += block[0];
        }
        best = std::min(best, bench::secondsSince(start));
    }
    // The sum is printed nowhere; it only keeps the work from being optimised away.
    if (keep == 12345.0F)
        std::puts("");
    return best * 1e9 / static_cast<double>(frames);
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 60.0;
    const std::vector<float> music = bench::musicLikeSignal(seconds, 44100);
    std::printf("anti-alias filter, %d taps, stereo, blocks of %zu frames, %.0f s of music\n",
                static_cast<int>(audiolib::AntiAliasFilter::kTaps),
                audiolib::AntiAliasFilter::kMaxFrames, seconds);
    std::printf("%-28s %10s\n", "pitch factor", "ns/frame");
    for (const double factor : {1.0, 1.5, 2.0})
        std::printf("%-28.2f %10.2f\n", factor, nanosecondsPerFrame(music, factor));
    return 0;
}
