// The worker thread of one device that keeps every playing stream's ring topped up, so that the
// audio callback only ever copies prepared audio. Started with the first stream, stopped with
// the device.
#ifndef TONVERA_AUDIOLIB_PLAYBACK_FEEDER_H
#define TONVERA_AUDIOLIB_PLAYBACK_FEEDER_H

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace audiolib {

class Stream;

class Feeder {
  public:
    // How often the feeder looks at its streams when nobody wakes it: well inside the time the
    // rings hold, so they never run dry.
    static constexpr int kPeriodMs = 4;

    Feeder() = default;
    ~Feeder();
    Feeder(const Feeder&) = delete;
    Feeder& operator=(const Feeder&) = delete;

    // API threads. The feeder keeps a stream alive while it holds it. The feeder takes its own
    // mutex only to copy the list and never while it holds a stream's mutex, so callers may
    // hold a stream's mutex here.
    void add(std::shared_ptr<Stream> stream);
    void remove(const Stream* stream);
    // Makes the feeder look at its streams now (after a play or a seek).
    void wake();
    void shutdown();

  private:
    void run();

    std::mutex mutex_;
    std::condition_variable wakeUp_;
    std::vector<std::shared_ptr<Stream>> streams_;
    bool woken_ = false;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace audiolib

#endif
