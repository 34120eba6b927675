// Measures how far a recording sits from A = 440 on a thread of its own: the first minute of the
// file is decoded to mono and handed to the tuning estimate, so the window stays live and the
// music plays on while it listens.
//
// Threads: made, polled and destroyed on one thread (the window's). The worker (a
// BackgroundWorker) only decodes and writes the result, which the owner reads through
// finished() and result() once finished. Destroying the detector stops the worker at its next
// block and waits for it (at most one block of decoding).
#ifndef TONVERA_ENGINE_TUNINGDETECTOR_H
#define TONVERA_ENGINE_TUNINGDETECTOR_H

#include <optional>
#include <string>

#include "audiolib/dsp/TuningEstimate.h"
#include "engine/BackgroundWorker.h"

class TuningDetector {
  public:
    static constexpr double kListenSeconds = 60.0;

    explicit TuningDetector(std::string utf8Path);
    TuningDetector(const TuningDetector&) = delete;
    TuningDetector& operator=(const TuningDetector&) = delete;

    bool finished() const { return worker_.finished(); }
    // Once finished: the estimate, or nullopt with failure() saying why (unreadable file, or
    // too little tonal music to tell).
    std::optional<audiolib::Tuning> result() const { return worker_.result(); }
    std::string failure() const { return worker_.failure(); }

  private:
    using Worker = BackgroundWorker<audiolib::Tuning>;
    // Worker thread.
    static Worker::Outcome listen(const std::string& path, const Worker::JobState& state);

    Worker worker_;
};

#endif
