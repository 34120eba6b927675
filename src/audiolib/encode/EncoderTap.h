// An encoder attached to a decoding channel: every block pulled through the channel is written
// to its file. Writes happen on the pulling thread while it holds the channel's mutex.
#ifndef TONVERA_AUDIOLIB_ENCODE_ENCODERTAP_H
#define TONVERA_AUDIOLIB_ENCODE_ENCODERTAP_H

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

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

    // Any thread: false once writing failed or the encoder was finished.
    bool alive() const { return alive_.load(std::memory_order_acquire); }
    // The channel's mutex is held by the caller of these two.
    void write(const float* frames, std::size_t count);
    // Closes the file; idempotent. False when anything failed on the way.
    bool finish();

  private:
    std::uint32_t channelHandle_;
    std::unique_ptr<FileEncoder> encoder_;
    std::atomic<bool> alive_{true};
    bool finished_ = false;
    bool finishResult_ = false;
};

}  // namespace audiolib

#endif
