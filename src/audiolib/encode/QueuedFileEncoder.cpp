#include "audiolib/encode/QueuedFileEncoder.h"

#include <algorithm>

namespace audiolib {

QueuedFileEncoder::QueuedFileEncoder(std::unique_ptr<FileEncoder> encoder, int channels)
    : encoder_(std::move(encoder)),
      channels_(static_cast<std::size_t>(std::max(channels, 1))),
      thread_([this] { run(); }) {}

QueuedFileEncoder::~QueuedFileEncoder() {
    finish();
}

bool QueuedFileEncoder::write(const float* interleaved, std::size_t frames) {
    if (!alive() || finished_)
        return false;
    if (!interleaved || frames == 0)
        return true;
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return count_ < kSlots || !alive(); });
    if (!alive())
        return false;
    Slot& slot = slots_[(head_ + count_) % kSlots];
    const std::size_t samples = frames * channels_;
    if (slot.samples.size() < samples)
        slot.samples.resize(samples);
    std::copy_n(interleaved, samples, slot.samples.begin());
    slot.frames = frames;
    ++count_;
    lock.unlock();
    changed_.notify_all();
    return true;
}

// Encoder thread: takes filled slots in order. The wrapped encoder runs outside the lock, so the
// pulling thread can fill the other slots meanwhile.
void QueuedFileEncoder::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return count_ > 0 || closing_; });
        if (count_ == 0)
            return;
        Slot& slot = slots_[head_];
        lock.unlock();
        const bool written = encoder_->write(slot.samples.data(), slot.frames);
        const bool failed = !written || !encoder_->alive();
        lock.lock();
        head_ = (head_ + 1) % kSlots;
        --count_;
        if (failed) {
            // What is still queued can never reach the file; the writer sees the death at its
            // next write or liveness check.
            count_ = 0;
            alive_.store(false, std::memory_order_release);
        }
        changed_.notify_all();
    }
}

bool QueuedFileEncoder::finish() {
    if (finished_)
        return result_;
    finished_ = true;
    {
        std::lock_guard lock(mutex_);
        closing_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable())
        thread_.join();
    // The wrapped encoder is ours alone from here on.
    result_ = encoder_->finish() && alive();
    alive_.store(false, std::memory_order_release);
    return result_;
}

std::string QueuedFileEncoder::lastError() const {
    // Read only once the encoder thread has stopped calling the wrapped encoder: after a death
    // (it drained nothing more) or after finish() joined it.
    if (alive() && !finished_)
        return {};
    return encoder_->lastError();
}

}  // namespace audiolib
