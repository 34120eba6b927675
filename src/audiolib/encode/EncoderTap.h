// An encoder attached to a decoding channel: every block pulled through the channel is written
// to its file. Writes happen on the pulling thread while it holds the channel's mutex.
#ifndef TONVERA_AUDIOLIB_ENCODE_ENCODERTAP_H
#define TONVERA_AUDIOLIB_ENCODE_ENCODERTAP_H

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "audiolib/FileEncoder.h"
#include "audiolib/core/LibObject.h"

namespace audiolib {

class EncoderTap : public LibObject {
  public:
    EncoderTap(std::uint64_t deviceSerial, std::uint32_t channelHandle,
               std::unique_ptr<FileEncoder> encoder);
    ~EncoderTap() override;

    ObjectKind kind() const override { return ObjectKind::Encoder; }
    std::uint32_t channelHandle() const { return channelHandle_; }

    // Any thread: false once writing failed or the encoder was finished. The encoder works on
    // its own thread, so a failure there shows here as soon as it happened, not only at the
    // next write.
    bool alive() const { return alive_.load(std::memory_order_acquire) && encoder_->alive(); }
    // The channel's mutex is held by the caller of these two.
    void write(const float* frames, std::size_t count);
    // Closes the file; idempotent. False when anything failed on the way.
    bool finish();
    // Any thread: why the encoder died or its file could not be completed; empty otherwise.
    std::string error() const;

  private:
    // Keeps the encoder's reason once it has failed, and tells the log.
    void noteFailure();

    std::uint32_t channelHandle_;
    std::unique_ptr<FileEncoder> encoder_;
    std::atomic<bool> alive_{true};
    bool finished_ = false;
    bool finishResult_ = false;
    mutable std::mutex errorMutex_;
    std::string error_;
};

}  // namespace audiolib

#endif
