// A sequence lock: one writer publishes a small value that any number of readers copy without a
// lock, and the writer never waits for them. The writer makes the sequence odd, writes, and makes
// it even again; a reader that saw an odd sequence, or a different one after copying, has copied
// a half-written value and throws it away.
//
// The value lives in relaxed atomic words (the reader may copy while the writer writes, which
// plain memory would make a data race), copied in and out with memcpy, so T must be trivially
// copyable; its padding travels along unread. The fences order the words against the sequence:
// the writer's release fence keeps its word stores after the odd sequence, the reader's acquire
// fence keeps its word loads before its second look at the sequence.
//
// Threads: one writer at a time (the owner says how writers are kept apart); readers on any
// thread. Neither allocates nor locks, so either side may be the audio callback.
#ifndef TONVERA_AUDIOLIB_CORE_SEQLOCK_H
#define TONVERA_AUDIOLIB_CORE_SEQLOCK_H

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace audiolib {

template <typename T>
class SeqLock {
    static_assert(std::is_trivially_copyable_v<T>);
    static_assert(std::atomic<std::uint64_t>::is_always_lock_free);
    static constexpr std::size_t kWords =
        (sizeof(T) + sizeof(std::uint64_t) - 1) / sizeof(std::uint64_t);
    using Raw = std::array<std::uint64_t, kWords>;

  public:
    SeqLock() : SeqLock(T{}) {}
    explicit SeqLock(const T& initial) { storeWords(initial); }
    SeqLock(const SeqLock&) = delete;
    SeqLock& operator=(const SeqLock&) = delete;

    // The writer.
    void write(const T& value) {
        const std::uint32_t sequence = sequence_.load(std::memory_order_relaxed);
        sequence_.store(sequence + 1, std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_release);
        storeWords(value);
        sequence_.store(sequence + 2, std::memory_order_release);
    }

    // A reader that must not wait: false (and *out unchanged) when the copy overlapped a write.
    bool tryRead(T* out) const {
        const std::uint32_t before = sequence_.load(std::memory_order_acquire);
        if (before % 2 != 0)
            return false;
        Raw raw;
        for (std::size_t i = 0; i < kWords; ++i)
            raw[i] = words_[i].load(std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_acquire);
        if (sequence_.load(std::memory_order_relaxed) != before)
            return false;
        std::memcpy(static_cast<void*>(out), raw.data(), sizeof(T));
        return true;
    }

    // A reader that may spin while a write is under way (a few stores long).
    T read() const {
        T value{};
        while (!tryRead(&value)) {
        }
        return value;
    }

  private:
    void storeWords(const T& value) {
        Raw raw{};
        std::memcpy(raw.data(), &value, sizeof(T));
        for (std::size_t i = 0; i < kWords; ++i)
            words_[i].store(raw[i], std::memory_order_relaxed);
    }

    std::atomic<std::uint32_t> sequence_{0};
    std::array<std::atomic<std::uint64_t>, kWords> words_{};
};

}  // namespace audiolib

#endif
