// A FileEncoder that encodes on a thread of its own: write() copies the block into a bounded
// queue and returns, so decoding and stretching on the pulling thread overlap with encoding
// (AAC costs about as much as the stretch) on the second core.
//
// Threads: write(), finish() and alive() are called by the one pulling thread; the encoder
// thread calls the wrapped encoder only. The queue's mutex is the only thing the two share,
// besides the atomic liveness flag and the error text written once before that flag drops.
// A full queue makes write() wait: the pulling thread is never the audio callback (encoders
// tap decoding channels only).
#ifndef TONVERA_AUDIOLIB_ENCODE_QUEUEDFILEENCODER_H
#define TONVERA_AUDIOLIB_ENCODE_QUEUEDFILEENCODER_H

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "audiolib/FileEncoder.h"

namespace audiolib {

class QueuedFileEncoder final : public FileEncoder {
  public:
    QueuedFileEncoder(std::unique_ptr<FileEncoder> encoder, int channels);
    ~QueuedFileEncoder() override;

    // False once the encoder thread has seen the wrapped encoder fail: at most a queue's worth
    // of blocks after the block that failed.
    bool write(const float* interleaved, std::size_t frames) override;
    // Waits for the queue to drain, then finishes the wrapped encoder.
    bool finish() override;
    bool alive() const override { return alive_.load(std::memory_order_acquire); }
    std::string lastError() const override;

  private:
    // Slots are reused round the ring; a slot's buffer grows only when a larger block comes,
    // so a steady export allocates nothing per block.
    static constexpr std::size_t kSlots = 8;
    struct Slot {
        std::vector<float> samples;
        std::size_t frames = 0;
    };

    void run();

    std::unique_ptr<FileEncoder> encoder_;
    std::size_t channels_;
    std::array<Slot, kSlots> slots_;
    std::size_t head_ = 0;   // next slot the encoder thread takes
    std::size_t count_ = 0;  // filled slots
    bool closing_ = false;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::atomic<bool> alive_{true};
    bool finished_ = false;
    bool result_ = false;
    std::thread thread_;  // last: starts once everything above exists
};

}  // namespace audiolib

#endif
