// Decoding speed per format, in multiples of real time, for three minutes of stereo 44.1 kHz
// music-like signal written into each format in a temporary folder. Also shows what opening
// costs (the length scan) and what a seek costs, the two delays a user feels.
// Prints figures only; nothing here passes or fails on time.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "audiolib/AudioDecoder.h"
#include "support/AudioFixtures.h"
#include "support/TempHome.h"

namespace {

using Clock = std::chrono::steady_clock;

// A few detuned tones with a slow tremolo and some noise: enough spectral content that lossy
// encoders work about as hard as on music.
std::vector<float> musicLike(double seconds, int rate) {
    const auto frames = static_cast<std::size_t>(seconds * rate);
    std::vector<float> out(frames * 2);
    std::mt19937 rng(7);
    std::normal_distribution<float> noise(0.0f, 0.03f);
    const double tones[] = {110.0, 220.5, 329.6, 440.0, 659.3, 1318.5, 2637.0};
    for (std::size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / rate;
        double v = 0.0;
        for (std::size_t k = 0; k < std::size(tones); ++k) {
            v += std::sin(2 * std::numbers::pi * tones[k] * t) *
                 (0.5 +
                  0.5 * std::sin(2 * std::numbers::pi * (0.3 + 0.1 * static_cast<double>(k)) * t));
        }
        const float s = static_cast<float>(0.08 * v);
        out[2 * i] = s + noise(rng);
        out[2 * i + 1] = s + noise(rng);
    }
    return out;
}

}  // namespace

int main() {
    constexpr int kRate = 44100;
    constexpr double kSeconds = 180.0;
    testsupport::TempDir dir;
    std::printf("Generating %.0f s of stereo %d Hz signal...\n", kSeconds, kRate);
    const auto signal = musicLike(kSeconds, kRate);
    const auto signal48 = musicLike(kSeconds, 48000);

    std::printf("\n%-6s %10s %10s %12s %12s %12s\n", "format", "size KiB", "open ms", "decode x RT",
                "seek ms avg", "seek ms max");
    for (const char* ext : {"wav", "aiff", "flac", "mp3", "mp2", "ogg", "opus", "m4a"}) {
        const bool is48k = std::string(ext) == "opus";
        const int rate = is48k ? 48000 : kRate;
        const std::string path = dir.file(std::string("bench.") + ext);
        std::string error;
        if (!testsupport::writeAudioFile(path, is48k ? signal48 : signal, rate, 2, &error)) {
            std::printf("%-6s cannot be written: %s\n", ext, error.c_str());
            continue;
        }
        FILE* f = std::fopen(path.c_str(), "rb");
        std::fseek(f, 0, SEEK_END);
        const long size = std::ftell(f);
        std::fclose(f);

        auto start = Clock::now();
        auto decoder = audiolib::AudioDecoder::open(path, &error);
        const double openSeconds = bench::secondsSince(start);
        if (!decoder) {
            std::printf("%-6s cannot be opened: %s\n", ext, error.c_str());
            continue;
        }
        std::vector<float> block(4096 * 2);
        std::uint64_t frames = 0;
        start = Clock::now();
        while (const std::size_t n = decoder->read(block.data(), 4096)) {
            frames += n;
        }
        const double decodeSeconds = bench::secondsSince(start);

        // Seeks spread over the file, in a scattered order, each followed by one block.
        double seekTotal = 0.0;
        double seekMax = 0.0;
        constexpr int kSeeks = 40;
        for (int i = 0; i < kSeeks; ++i) {
            const std::uint64_t target =
                frames * static_cast<std::uint64_t>((i * 17) % kSeeks) / kSeeks;
            start = Clock::now();
            decoder->seek(target);
            decoder->read(block.data(), 4096);
            const double s = bench::secondsSince(start);
            seekTotal += s;
            seekMax = std::max(seekMax, s);
        }
        std::printf("%-6s %10ld %10.1f %12.1f %12.2f %12.2f\n", ext, size / 1024, openSeconds * 1e3,
                    static_cast<double>(frames) / rate / decodeSeconds, seekTotal / kSeeks * 1e3,
                    seekMax * 1e3);
    }
    return 0;
}
