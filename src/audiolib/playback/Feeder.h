// The worker thread of one device that keeps every playing stream's ring topped up, so that the
// audio callback only ever copies prepared audio. Started with the first stream, stopped with
// the device.
//
// It sleeps until woken: by the audio callback after each buffer it took audio from, by API
// threads after a play, a seek or a change. While something plays it also looks on its own every
// kPeriodMs, in case a wake-up is lost; when nothing plays it rests the device's output and
// sleeps without a limit, so an idle player costs nothing.
#ifndef TONVERA_AUDIOLIB_PLAYBACK_FEEDER_H
#define TONVERA_AUDIOLIB_PLAYBACK_FEEDER_H

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "audiolib/playback/FeederSignal.h"

namespace audiolib {

class Stream;

class Feeder {
  public:
    static constexpr int kPeriodMs = 10;
    // While a sample fades out or a stream fades after a pause, the device must keep running;
    // the feeder looks again this often until it may rest.
    static constexpr int kIdleCheckMs = 50;

    Feeder() = default;
    ~Feeder();
    Feeder(const Feeder&) = delete;
    Feeder& operator=(const Feeder&) = delete;

    // Set once by the device before anything plays, both called on the feeder thread: `start`
    // once the rings of playing streams are filled (so the first callback finds audio), and
    // `suspendIfIdle` when none of its streams plays (true when the output rests).
    void setOutputControl(std::function<void()> start, std::function<bool()> suspendIfIdle) {
        startOutput_ = std::move(start);
        idleCheck_ = std::move(suspendIfIdle);
    }

    // API threads. The feeder keeps a stream alive while it holds it. The feeder takes its own
    // mutex only to copy the list and never while it holds a stream's mutex, so callers may
    // hold a stream's mutex here.
    void add(std::shared_ptr<Stream> stream);
    void remove(const Stream* stream);
    // Makes the feeder look at its streams now (after a play, a seek or a change), starting its
    // thread if a sample is the first thing played.
    void wake();
    void shutdown();
    // What the audio callback posts after taking audio (see FeederSignal).
    FeederSignal& signal() { return signal_; }
    // Any thread: the longest time between two passes of the feeder while something played, in
    // microseconds (its lateness at worst, for benchmarks and diagnostics), and reset it.
    std::int64_t takeLongestGapMicros() { return longestGapMicros_.exchange(0); }

  private:
    void run();
    // Feeder thread: what could not be said from the callback.
    void reportUnderruns(const std::vector<std::shared_ptr<Stream>>& streams);

    std::mutex mutex_;
    FeederSignal signal_;
    std::vector<std::shared_ptr<Stream>> streams_;
    bool stopping_ = false;
    std::function<void()> startOutput_;
    std::function<bool()> idleCheck_;
    std::thread thread_;
    // Feeder-owned.
    std::uint64_t reportedUnderruns_ = 0;
    std::atomic<std::int64_t> longestGapMicros_{0};
    std::chrono::steady_clock::time_point lastReport_{};
};

}  // namespace audiolib

#endif
