// Measures how far a recording sits from A = 440 on a thread of its own: the first minute of the
// file is decoded to mono and handed to the tuning estimate, so the window stays live and the
// music plays on while it listens.
//
// Threads: made, polled and destroyed on one thread (the window's). The worker only decodes
// and writes the result, which the owner reads through finished() and result() once finished.
// Destroying the detector stops the worker at its next block and waits for it (at most one
// block of decoding).
#ifndef TONVERA_ENGINE_TUNINGDETECTOR_H
#define TONVERA_ENGINE_TUNINGDETECTOR_H

#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "audiolib/dsp/TuningEstimate.h"

class TuningDetector {
  public:
    static constexpr double kListenSeconds = 60.0;

    explicit TuningDetector(std::string utf8Path);
    ~TuningDetector();
    TuningDetector(const TuningDetector&) = delete;
    TuningDetector& operator=(const TuningDetector&) = delete;

    bool finished() const { return finished_.load(std::memory_order_acquire); }
    // Once finished: the estimate, or nullopt with failure() saying why (unreadable file, or
    // too little tonal music to tell).
    std::optional<audiolib::Tuning> result() const;
    std::string failure() const;

  private:
    void run(const std::string& path);

    std::atomic<bool> cancel_{false};
    std::atomic<bool> finished_{false};
    mutable std::mutex resultLock_;
    std::optional<audiolib::Tuning> result_;
    std::string failure_;
    std::thread worker_;  // last: it starts once everything above exists
};

#endif
