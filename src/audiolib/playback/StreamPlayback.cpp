#include "audiolib/playback/StreamPlayback.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <mutex>
#include <thread>

#include "audiolib/dsp/FiniteSamples.h"
#include "audiolib/stream/Stream.h"

namespace audiolib {

namespace {
// Native frames rendered per block at most; a stream played at a high rate makes blocks of fewer
// output frames rather than larger buffers.
constexpr int kMaxNativeFrames = 4096;
}  // namespace

StreamPlayback::StreamPlayback(Stream& stream, const PlaybackTarget& target)
    : stream_(stream),
      deviceRate_(target.rate),
      shared_(stream.volumeLevel(), stream.gains()),
      voice_(shared_, target.rate),
      history_(stream.channels(), stream.rate()),
      mapper_(stream.channels(), stream.channelMask()),
      resampler_(2, target.rate),
      native_(static_cast<std::size_t>(kMaxNativeFrames) * stream.channels()),
      stereo_(static_cast<std::size_t>(kMaxNativeFrames) * 2),
      aheadFrames_(static_cast<std::uint64_t>(
          std::max(kAheadSeconds * target.rate,
                   2.0 * std::max(target.callbackFrames, 1) + kJitterSeconds * target.rate))) {
    shared_.feederSignal = target.feederSignal;
    shared_.clock = target.clock;
    // Made under the stream's mutex, before the voice reaches the mixer: nobody else publishes.
    PlayPositionValue start;
    start.source = stream.position();
    shared_.heard.publish(start);
    shared_.seekTarget.store(start.source, std::memory_order_relaxed);
}

void StreamPlayback::playAt(std::uint64_t frame) {
    shared_.startAt.store(frame, std::memory_order_release);
    play();
}

void StreamPlayback::play() {
    if (finished())
        requestSeek(0.0);
    state_.store(State::Playing, std::memory_order_release);
    shared_.wantPlay.store(true, std::memory_order_release);
}

void StreamPlayback::pause() {
    shared_.startAt.store(0, std::memory_order_release);
    state_.store(State::Paused, std::memory_order_release);
    shared_.wantPlay.store(false, std::memory_order_release);
}

void StreamPlayback::stop() {
    shared_.startAt.store(0, std::memory_order_release);
    state_.store(State::Stopped, std::memory_order_release);
    shared_.wantPlay.store(false, std::memory_order_release);
}

bool StreamPlayback::stopAndFade(int timeoutMs) {
    stop();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (shared_.audible.load(std::memory_order_acquire)) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

bool StreamPlayback::finished() const {
    return shared_.finishedGeneration.load(std::memory_order_acquire) ==
           shared_.generation.load(std::memory_order_acquire);
}

void StreamPlayback::requestSeek(double sourceFrame) {
    shared_.seekTarget.store(sourceFrame, std::memory_order_relaxed);
    shared_.generation.fetch_add(1, std::memory_order_release);
}

double StreamPlayback::position() const {
    const PlayPositionValue heard = shared_.heard.read();
    if (heard.generation != shared_.generation.load(std::memory_order_acquire)) {
        return shared_.seekTarget.load(std::memory_order_relaxed);
    }
    const double length = static_cast<double>(stream_.lengthFrames());
    if (stream_.looping() && length > 0.0)
        return std::fmod(heard.source, length);
    return std::min(heard.source, length);
}

void StreamPlayback::recentFrames(float* out, std::size_t frames) const {
    const PlayPositionValue heard = shared_.heard.read();
    history_.read(static_cast<std::uint64_t>(heard.history), out, frames);
    const float level = stream_.volume() * stream_.gains().allChannels();
    const std::size_t count = frames * static_cast<std::size_t>(history_.channels());
    for (std::size_t i = 0; i < count; ++i)
        out[i] *= level;
}

bool StreamPlayback::busy() const {
    return (state() == State::Playing && !finished()) ||
           shared_.audible.load(std::memory_order_acquire);
}

std::uint64_t StreamPlayback::queuedFrames() const {
    const std::uint64_t taken = shared_.takenFrames.load(std::memory_order_acquire);
    return publishedFrames_ - std::min(publishedFrames_, std::max(taken, generationStart_));
}

bool StreamPlayback::topUp() {
    bool rendered = false;
    for (;;) {
        const bool seekPending =
            shared_.generation.load(std::memory_order_acquire) != handledGeneration_;
        if (!seekPending && queuedFrames() >= aheadFrames_)
            break;
        AudioBlock* block = shared_.ring.writable();
        if (!block || !renderBlock(*block))
            break;
        publishedFrames_ += static_cast<std::uint64_t>(block->frames);
        shared_.ring.publish();
        rendered = true;
    }
    return rendered;
}

bool StreamPlayback::renderBlock(AudioBlock& block) {
    const std::uint32_t generation = shared_.generation.load(std::memory_order_acquire);
    std::unique_lock lock(stream_.mutex());
    if (stream_.freed())
        return false;
    if (generation != handledGeneration_) {
        const double target = shared_.seekTarget.load(std::memory_order_relaxed);
        stream_.seek(static_cast<std::uint64_t>(std::max(target, 0.0)));
        resampler_.reset();
        handledGeneration_ = generation;
        generationStart_ = publishedFrames_;
        endReached_ = false;
    }
    if (endReached_)
        return false;

    std::string error;
    resampler_.setInputRate(stream_.playbackInputRate(), &error);  // on failure: passthrough
    const int inputRate = resampler_.passthrough() ? deviceRate_ : resampler_.inputRate();
    const double nativePerOutput = static_cast<double>(inputRate) / deviceRate_;
    int wanted = std::clamp(static_cast<int>(std::ceil(kBlockFrames * nativePerOutput)), 16,
                            kMaxNativeFrames);
    while (wanted > 16 && resampler_.maxOutputFrames(wanted) > AudioBlock::kMaxFrames) {
        wanted /= 2;
    }

    // A block ends where the position jumps, so the heard position stays exact across a seam.
    const std::size_t untilJump = std::clamp<std::size_t>(
        stream_.framesUntilJump(), 1, static_cast<std::size_t>(kMaxNativeFrames));
    wanted = std::min(wanted, static_cast<int>(untilJump));
    const double sourceStart = stream_.position();
    const double sourcePerNative = stream_.sourceFramesPerFrame();
    const std::size_t got = stream_.render(native_.data(), static_cast<std::size_t>(wanted));
    const bool ended = got < static_cast<std::size_t>(wanted) || stream_.ended();
    lock.unlock();

    stream_.gains().applyPerChannel(native_.data(), got);
    // Decoded samples are finite, but the stretcher and the gains are not ours to trust: what
    // the history (the spectrum's data) and the resampler get must be.
    sanitiseSamples(native_.data(), got * static_cast<std::size_t>(stream_.channels()));
    const std::uint64_t historyStart = history_.written();
    history_.write(native_.data(), got);
    mapper_.map(native_.data(), stereo_.data(), got);
    int frames = resampler_.process(stereo_.data(), static_cast<int>(got), block.samples.data(),
                                    AudioBlock::kMaxFrames);
    if (ended) {
        // Let the resampler's last few frames out with the end of the stream.
        frames += resampler_.process(nullptr, 0, block.samples.data() + 2 * frames,
                                     AudioBlock::kMaxFrames - frames);
        endReached_ = true;
    }
    block.generation = generation;
    block.sourceStart = sourceStart;
    block.sourcePerFrame = sourcePerNative * nativePerOutput;
    block.historyStart = static_cast<double>(historyStart);
    block.historyPerFrame = nativePerOutput;
    block.frames = frames;
    block.last = ended;
    return true;
}

}  // namespace audiolib
