// The open devices and each thread's current device.
//
// A thread that never chose a device (by BASS_Init or BASS_SetDevice) works on the most recently
// opened device that is still open; once a thread has chosen, only its own choice counts.
#ifndef TONVERA_AUDIOLIB_DEVICE_DEVICEMANAGER_H
#define TONVERA_AUDIOLIB_DEVICE_DEVICEMANAGER_H

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "audiolib/device/Device.h"

namespace audiolib {

struct DeviceDescription {
    const char* name = nullptr;    // stays valid for the rest of the run
    const char* driver = nullptr;  // likewise
    bool isDefault = false;
    bool open = false;
};

class DeviceManager {
  public:
    static constexpr int kNoSound = 0;
    static constexpr int kDefaultOutput = 1;

    static DeviceManager& instance();

    // BASS_OK or an error code; on success the device is the calling thread's current one.
    int init(int number, int rate, std::uint32_t flags);
    // The calling thread's current device, or nullptr (with *error = BASS_ERROR_INIT).
    std::shared_ptr<Device> current(int* error = nullptr) const;
    // BASS_OK, BASS_ERROR_DEVICE (no such number) or BASS_ERROR_INIT (not open).
    int select(int number);
    // Forgets the device; the caller has already released what was made on it. The device
    // itself goes when the last reference is dropped.
    void close(const std::shared_ptr<Device>& device);
    std::shared_ptr<Device> findBySerial(std::uint64_t serial) const;
    std::shared_ptr<Device> findByNumber(int number) const;

    // Output devices 1..n; false past the last (or when no SDL driver works at all).
    bool describe(int number, DeviceDescription* description);

  private:
    mutable std::mutex mutex_;
    std::map<int, std::shared_ptr<Device>> open_;
    std::vector<int> openOrder_;  // oldest first
    std::uint64_t nextSerial_ = 1;
};

}  // namespace audiolib

#endif
