// Small helpers the benchmarks share: clocks and a music-like test signal.
#ifndef TONVERA_BENCH_BENCHSUPPORT_H
#define TONVERA_BENCH_BENCHSUPPORT_H

#include <sys/resource.h>

#include <chrono>
#include <cmath>
#include <cstddef>
#include <numbers>
#include <random>
#include <vector>

namespace bench {

inline double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// User plus system time: of the whole process with every thread (RUSAGE_SELF), or of the child
// processes waited for so far (RUSAGE_CHILDREN: the command-line tools).
inline double cpuSeconds(int who = RUSAGE_SELF) {
    rusage usage{};
    ::getrusage(who, &usage);
    auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Stereo with the texture of music: a few partials whose base moves every second, and a little
// noise, so encoders and stretchers have real work.
inline std::vector<float> musicLikeSignal(double seconds, int rate) {
    const auto frames = static_cast<std::size_t>(seconds * rate);
    std::vector<float> out(frames * 2);
    std::mt19937 random(7);
    std::uniform_real_distribution<float> noise(-0.02F, 0.02F);
    for (std::size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / rate;
        const double base = 220.0 * (1.0 + 0.5 * std::floor(std::fmod(t, 4.0)));
        double value = 0.0;
        for (int h = 1; h <= 4; ++h)
            value += 0.12 / h * std::sin(2 * std::numbers::pi * base * h * t);
        out[2 * i] = static_cast<float>(value) + noise(random);
        out[2 * i + 1] = static_cast<float>(value * 0.8) + noise(random);
    }
    return out;
}

}  // namespace bench

#endif
