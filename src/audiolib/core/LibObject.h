// Everything a handle can name: streams, samples, sample channels, effects and encoders.
#ifndef TONVERA_AUDIOLIB_CORE_LIBOBJECT_H
#define TONVERA_AUDIOLIB_CORE_LIBOBJECT_H

#include <cstdint>

namespace audiolib {

enum class ObjectKind { SourceStream, TempoStream, Sample, SampleChannel, Effect, Encoder };

class LibObject {
  public:
    // deviceSerial names the opened device the object was made on (see DeviceManager), so that
    // freeing a device can find everything that belongs to it.
    explicit LibObject(std::uint64_t deviceSerial) : deviceSerial_(deviceSerial) {}
    virtual ~LibObject() = default;
    LibObject(const LibObject&) = delete;
    LibObject& operator=(const LibObject&) = delete;

    virtual ObjectKind kind() const = 0;
    std::uint64_t deviceSerial() const { return deviceSerial_; }

    // The object's own handle, set once when it enters the handle table.
    std::uint32_t handle() const { return handle_; }
    void setHandle(std::uint32_t handle) { handle_ = handle; }

  private:
    std::uint64_t deviceSerial_;
    std::uint32_t handle_ = 0;
};

}  // namespace audiolib

#endif
