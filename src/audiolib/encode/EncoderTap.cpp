#include "audiolib/encode/EncoderTap.h"

#include "audiolib/core/Diagnostics.h"

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
        noteFailure();
        alive_.store(false, std::memory_order_release);
    }
}

bool EncoderTap::finish() {
    if (finished_)
        return finishResult_;
    finished_ = true;
    finishResult_ = encoder_->finish();
    if (!finishResult_)
        noteFailure();
    alive_.store(false, std::memory_order_release);
    return finishResult_;
}

// Once per tap: the first reason is the one that matters.
void EncoderTap::noteFailure() {
    std::string why = encoder_->lastError();
    if (why.empty())
        why = "the encoder stopped";
    {
        std::lock_guard lock(errorMutex_);
        if (!error_.empty())
            return;
        error_ = why;
    }
    diagnostic(("Encoder: " + why).c_str());
}

std::string EncoderTap::error() const {
    {
        std::lock_guard lock(errorMutex_);
        if (!error_.empty())
            return error_;
    }
    // Died on the encoder's thread and not yet noticed by a write.
    return encoder_->alive() ? std::string() : encoder_->lastError();
}

}  // namespace audiolib
