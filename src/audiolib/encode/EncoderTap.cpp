#include "audiolib/encode/EncoderTap.h"

namespace audiolib {

EncoderTap::EncoderTap(std::uint64_t deviceSerial, std::uint32_t channelHandle,
                       std::unique_ptr<FileEncoder> encoder)
    : LibObject(deviceSerial), channelHandle_(channelHandle), encoder_(std::move(encoder)) {}

// A tap dropped without an explicit stop still leaves a complete file behind.
EncoderTap::~EncoderTap() {
    finish();
}

void EncoderTap::write(const float* frames, std::size_t count) {
    if (finished_ || !alive())
        return;
    if (!encoder_->write(frames, count) || !encoder_->alive()) {
        alive_.store(false, std::memory_order_release);
    }
}

bool EncoderTap::finish() {
    if (finished_)
        return finishResult_;
    finished_ = true;
    finishResult_ = encoder_->finish();
    alive_.store(false, std::memory_order_release);
    return finishResult_;
}

}  // namespace audiolib
