#include "audiolib/device/Device.h"

#include "audiolib/device/SdlOutput.h"
#include "audiolib/device/SilentOutput.h"

namespace audiolib {

Device::Device(int number, std::uint64_t serial, int rate, std::uint32_t initFlags)
    : number_(number), serial_(serial), initFlags_(initFlags), mixer_(rate) {
    feeder_.setOutputControl([this] { resumeIfResting(); }, [this] { return suspendIfIdle(); });
}

Device::~Device() {
    // The feeder starts and rests the output, so it goes first; the output then stops calling
    // the mixer, which goes last.
    feeder_.shutdown();
    std::lock_guard lock(outputMutex_);
    output_.reset();
}

bool Device::openSdl(const char* sdlName, std::string* error) {
    output_ = SdlOutput::open(sdlName, mixer_.rate(), mixer_, error);
    silent_ = !output_;
    return output_ != nullptr;
}

void Device::openSilent() {
    output_ = std::make_unique<SilentOutput>(mixer_);
    silent_ = true;
}

PlaybackTarget Device::playbackTarget() {
    PlaybackTarget target;
    target.rate = mixer_.rate();
    target.callbackFrames = bufferFrames() > 0 ? bufferFrames() : target.callbackFrames;
    target.feederSignal = &feeder_.signal();
    target.clock = &mixer_.clock();
    return target;
}

void Device::startOutput() {
    std::lock_guard lock(outputMutex_);
    if (!output_)
        return;
    // Idle again only once a callback has run after this start and found nothing to play.
    startedAtFrame_ = mixer_.framesProcessed();
    outputRunning_ = true;
    output_->ensureRunning();
}

void Device::resumeIfResting() {
    std::lock_guard lock(outputMutex_);
    if (!output_ || outputRunning_)
        return;
    startedAtFrame_ = mixer_.framesProcessed();
    outputRunning_ = true;
    output_->ensureRunning();
}

bool Device::suspendIfIdle() {
    std::lock_guard lock(outputMutex_);
    if (!output_ || !outputRunning_)
        return true;
    if (!mixer_.idleSince(startedAtFrame_))
        return false;
    output_->suspend();
    outputRunning_ = false;
    return true;
}

}  // namespace audiolib
