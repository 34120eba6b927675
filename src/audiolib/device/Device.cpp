#include "audiolib/device/Device.h"

#include "audiolib/device/SdlOutput.h"
#include "audiolib/device/SilentOutput.h"

namespace audiolib {

Device::Device(int number, std::uint64_t serial, int rate, std::uint32_t initFlags)
    : number_(number), serial_(serial), initFlags_(initFlags), mixer_(rate) {}

Device::~Device() {
    output_.reset();
    feeder_.shutdown();
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

void Device::startOutput() {
    if (output_)
        output_->ensureRunning();
}

}  // namespace audiolib
