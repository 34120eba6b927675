// Where a playing stream stands, published by the audio callback and read by any thread without
// a lock (a sequence lock: the single writer never waits, readers retry while it writes).
#ifndef TONVERA_AUDIOLIB_PLAYBACK_PLAYPOSITION_H
#define TONVERA_AUDIOLIB_PLAYBACK_PLAYPOSITION_H

#include <atomic>
#include <cstdint>

namespace audiolib {

struct PlayPositionValue {
    double source = 0.0;   // source frame being heard
    double history = 0.0;  // matching frame of the data history
    std::uint32_t generation = 0;
};

class PlayPosition {
  public:
    static_assert(std::atomic<double>::is_always_lock_free);

    // Audio callback (the only writer).
    void publish(const PlayPositionValue& value) {
        const std::uint32_t seq = sequence_.load(std::memory_order_relaxed);
        sequence_.store(seq + 1, std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_release);
        source_.store(value.source, std::memory_order_relaxed);
        history_.store(value.history, std::memory_order_relaxed);
        generation_.store(value.generation, std::memory_order_relaxed);
        sequence_.store(seq + 2, std::memory_order_release);
    }

    // Any thread.
    PlayPositionValue read() const {
        for (;;) {
            const std::uint32_t before = sequence_.load(std::memory_order_acquire);
            PlayPositionValue value;
            value.source = source_.load(std::memory_order_relaxed);
            value.history = history_.load(std::memory_order_relaxed);
            value.generation = generation_.load(std::memory_order_relaxed);
            std::atomic_thread_fence(std::memory_order_acquire);
            if (before % 2 == 0 && sequence_.load(std::memory_order_relaxed) == before) {
                return value;
            }
        }
    }

  private:
    std::atomic<std::uint32_t> sequence_{0};
    std::atomic<double> source_{0.0};
    std::atomic<double> history_{0.0};
    std::atomic<std::uint32_t> generation_{0};
};

}  // namespace audiolib

#endif
