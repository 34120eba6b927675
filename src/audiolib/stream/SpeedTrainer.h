// The speed trainer: every `passesPerStep` passes through a loop the tempo moves `step`
// percentage points toward a target, and stays there once it is reached.
//
// Threads: set() from any API thread; nextTempo() by whoever renders the tempo stream (it holds
// the stream's mutex()). The plan is a set of atomics, so neither side waits for the other;
// set() stores the passes per step last (release), nextTempo() reads them first (acquire).
#ifndef TONVERA_AUDIOLIB_STREAM_SPEEDTRAINER_H
#define TONVERA_AUDIOLIB_STREAM_SPEEDTRAINER_H

#include <atomic>
#include <cstdint>
#include <optional>

namespace audiolib {

class SpeedTrainer {
  public:
    // 0 passes per step: off. The caller has checked that the values are finite.
    void set(float target, float step, std::uint32_t passesPerStep);
    // After the loop's pass number `passes` (counted from 1), with the tempo at `tempo`: the
    // tempo to take from the next pass on, or nullopt when it stays.
    std::optional<float> nextTempo(std::uint32_t passes, float tempo) const;

  private:
    std::atomic<float> target_{0.0F};
    std::atomic<float> step_{0.0F};
    std::atomic<std::uint32_t> every_{0};
};

}  // namespace audiolib

#endif
