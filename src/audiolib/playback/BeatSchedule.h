// Beats on the device clock: a sample started at exact output frames (the metronome and the
// count-in), so the beat does not take on the jitter of whoever asked for it.
//
// Threads: one API thread at a time writes (the caller serialises), the audio callback reads.
// The callback never waits: a read that overlaps a write fails, and the callback keeps the
// schedule it had until its next callback.
#ifndef TONVERA_AUDIOLIB_PLAYBACK_BEATSCHEDULE_H
#define TONVERA_AUDIOLIB_PLAYBACK_BEATSCHEDULE_H

#include <atomic>
#include <cmath>
#include <cstdint>

namespace audiolib {

struct BeatSchedule {
    std::uint64_t firstFrame = 0;  // device frame of beat 0
    double intervalFrames = 0.0;   // 0: no beats
    std::uint64_t count = 0;       // beats in all; 0 = until cancelled
    int beatsPerBar = 4;
    bool accent = false;  // beat 0 of every bar sounds higher
    std::uint32_t serial = 0;

    bool active() const { return intervalFrames > 0.0; }
    // Rounded once from the start, so rounding never accumulates into drift.
    std::uint64_t frameOf(std::uint64_t beat) const {
        return firstFrame +
               static_cast<std::uint64_t>(std::llround(static_cast<double>(beat) * intervalFrames));
    }
    bool accented(std::uint64_t beat) const {
        return accent && beatsPerBar > 0 && beat % static_cast<std::uint64_t>(beatsPerBar) == 0;
    }
};

class BeatScheduleSlot {
  public:
    static_assert(std::atomic<double>::is_always_lock_free);

    void write(const BeatSchedule& value) {
        const std::uint32_t seq = sequence_.load(std::memory_order_relaxed);
        sequence_.store(seq + 1, std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_release);
        first_.store(value.firstFrame, std::memory_order_relaxed);
        interval_.store(value.intervalFrames, std::memory_order_relaxed);
        count_.store(value.count, std::memory_order_relaxed);
        beatsPerBar_.store(value.beatsPerBar, std::memory_order_relaxed);
        accent_.store(value.accent, std::memory_order_relaxed);
        serial_.store(value.serial, std::memory_order_relaxed);
        sequence_.store(seq + 2, std::memory_order_release);
    }

    // False while a write is under way; *out is then unchanged.
    bool tryRead(BeatSchedule* out) const {
        const std::uint32_t before = sequence_.load(std::memory_order_acquire);
        if (before % 2 != 0)
            return false;
        BeatSchedule value;
        value.firstFrame = first_.load(std::memory_order_relaxed);
        value.intervalFrames = interval_.load(std::memory_order_relaxed);
        value.count = count_.load(std::memory_order_relaxed);
        value.beatsPerBar = beatsPerBar_.load(std::memory_order_relaxed);
        value.accent = accent_.load(std::memory_order_relaxed);
        value.serial = serial_.load(std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_acquire);
        if (sequence_.load(std::memory_order_relaxed) != before)
            return false;
        *out = value;
        return true;
    }

  private:
    std::atomic<std::uint32_t> sequence_{0};
    std::atomic<std::uint64_t> first_{0};
    std::atomic<double> interval_{0.0};
    std::atomic<std::uint64_t> count_{0};
    std::atomic<int> beatsPerBar_{4};
    std::atomic<bool> accent_{false};
    std::atomic<std::uint32_t> serial_{0};
};

}  // namespace audiolib

#endif
