#include "audiolib/device/DeviceManager.h"

#include <set>
#include <vector>

#include "audiolib/audiolib.h"
#include "audiolib/device/SdlAudio.h"

namespace audiolib {

namespace {

constexpr int kUnchosen = -2;
thread_local int t_currentDevice = kUnchosen;

// Device names handed out through BASS_DEVICEINFO must stay valid; they are kept for the run.
const char* keepName(const std::string& name) {
    static std::mutex mutex;
    static std::set<std::string> names;
    std::lock_guard lock(mutex);
    return names.insert(name).first->c_str();
}

}  // namespace

DeviceManager& DeviceManager::instance() {
    static DeviceManager manager;
    return manager;
}

bool DeviceManager::describe(int number, DeviceDescription* description) {
    if (number < 1)
        return false;
    SdlAudioUse use;
    if (!use.ok())
        return false;
    const std::vector<std::string> names = SdlAudio::instance().playbackDevices();
    if (number > static_cast<int>(names.size()) + 1)
        return false;
    description->name = keepName(number == kDefaultOutput ? "Default" : names[number - 2]);
    description->driver = keepName(SdlAudio::instance().driverName());
    description->isDefault = number == kDefaultOutput;
    description->open = findByNumber(number) != nullptr;
    return true;
}

int DeviceManager::init(int number, int rate, std::uint32_t flags) {
    if (number == -1)
        number = kDefaultOutput;
    if (number < 0)
        return BASS_ERROR_DEVICE;
    if (rate == 0)
        rate = 44100;
    if (rate < 8000 || rate > 384000)
        return BASS_ERROR_FREQ;

    std::string sdlName;
    if (number > kDefaultOutput) {
        SdlAudioUse use;
        if (!use.ok())
            return BASS_ERROR_DRIVER;
        const std::vector<std::string> names = SdlAudio::instance().playbackDevices();
        if (number > static_cast<int>(names.size()) + 1)
            return BASS_ERROR_DEVICE;
        sdlName = names[number - 2];
    }

    std::lock_guard lock(mutex_);
    if (open_.count(number) != 0)
        return BASS_ERROR_ALREADY;
    auto device = std::make_shared<Device>(number, nextSerial_++, rate, flags);
    if (number == kNoSound) {
        device->openSilent();
    } else {
        std::string error;
        if (!device->openSdl(number == kDefaultOutput ? nullptr : sdlName.c_str(), &error)) {
            return BASS_ERROR_DRIVER;
        }
    }
    open_[number] = std::move(device);
    openOrder_.push_back(number);
    t_currentDevice = number;
    return BASS_OK;
}

std::shared_ptr<Device> DeviceManager::current(int* error) const {
    std::lock_guard lock(mutex_);
    int number = t_currentDevice;
    if (number == kUnchosen)
        number = openOrder_.empty() ? -1 : openOrder_.back();
    const auto it = open_.find(number);
    if (it == open_.end()) {
        if (error)
            *error = BASS_ERROR_INIT;
        return nullptr;
    }
    return it->second;
}

int DeviceManager::select(int number) {
    if (number < 0)
        return BASS_ERROR_DEVICE;
    std::lock_guard lock(mutex_);
    if (open_.count(number) == 0)
        return BASS_ERROR_INIT;
    t_currentDevice = number;
    return BASS_OK;
}

void DeviceManager::close(const std::shared_ptr<Device>& device) {
    std::lock_guard lock(mutex_);
    const auto it = open_.find(device->number());
    if (it != open_.end() && it->second == device) {
        open_.erase(it);
        std::erase(openOrder_, device->number());
    }
}

std::shared_ptr<Device> DeviceManager::findBySerial(std::uint64_t serial) const {
    std::lock_guard lock(mutex_);
    for (const auto& [number, device] : open_) {
        if (device->serial() == serial)
            return device;
    }
    return nullptr;
}

std::shared_ptr<Device> DeviceManager::findByNumber(int number) const {
    std::lock_guard lock(mutex_);
    const auto it = open_.find(number);
    return it == open_.end() ? nullptr : it->second;
}

}  // namespace audiolib
