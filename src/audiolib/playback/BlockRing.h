// A single-producer/single-consumer queue of fixed-size audio blocks: the feeder thread writes
// blocks ahead, the audio callback reads them. No locks, no allocation after construction.
#ifndef TONVERA_AUDIOLIB_PLAYBACK_BLOCKRING_H
#define TONVERA_AUDIOLIB_PLAYBACK_BLOCKRING_H

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

namespace audiolib {

struct AudioBlock {
    static constexpr int kMaxFrames = 1024;

    // Which seek the block belongs to; blocks of an older seek are dropped unheard.
    std::uint32_t generation = 0;
    // Source frame heard at the block's first frame, and source frames per block frame (the
    // tempo ratio times the rate conversion), so the callback can say where playback stands.
    double sourceStart = 0.0;
    double sourcePerFrame = 1.0;
    // The same for the channel's own data history (what GetData on a playing channel reads).
    double historyStart = 0.0;
    double historyPerFrame = 1.0;
    int frames = 0;     // stereo frames at the device rate
    bool last = false;  // the stream ends after this block
    std::array<float, kMaxFrames * 2> samples{};
};

class BlockRing {
  public:
    static constexpr std::uint32_t kCapacity = 16;  // a power of two

    BlockRing() : blocks_(std::make_unique<std::array<AudioBlock, kCapacity>>()) {}

    // Producer: the next free block to fill, or nullptr when the ring is full.
    AudioBlock* writable() {
        const std::uint32_t tail = tail_.load(std::memory_order_relaxed);
        if (tail - head_.load(std::memory_order_acquire) >= kCapacity)
            return nullptr;
        return &(*blocks_)[tail % kCapacity];
    }
    // Producer: hands the block returned by writable() to the consumer.
    void publish() { tail_.fetch_add(1, std::memory_order_release); }

    // Consumer: the oldest unread block, or nullptr when the ring is empty.
    AudioBlock* readable() {
        const std::uint32_t head = head_.load(std::memory_order_relaxed);
        if (head == tail_.load(std::memory_order_acquire))
            return nullptr;
        return &(*blocks_)[head % kCapacity];
    }
    // Consumer: the i-th unread block (0 = readable()), or nullptr past the last one. Blocks
    // stay unchanged until the consumer releases them, so the consumer may look ahead.
    const AudioBlock* peek(std::uint32_t i) const {
        const std::uint32_t head = head_.load(std::memory_order_relaxed);
        if (tail_.load(std::memory_order_acquire) - head <= i)
            return nullptr;
        return &(*blocks_)[(head + i) % kCapacity];
    }
    // Consumer: gives the block returned by readable() back to the producer.
    void release() { head_.fetch_add(1, std::memory_order_release); }

    std::uint32_t size() const {
        return tail_.load(std::memory_order_acquire) - head_.load(std::memory_order_acquire);
    }

  private:
    std::unique_ptr<std::array<AudioBlock, kCapacity>> blocks_;
    alignas(64) std::atomic<std::uint32_t> head_{0};
    alignas(64) std::atomic<std::uint32_t> tail_{0};
};

}  // namespace audiolib

#endif
