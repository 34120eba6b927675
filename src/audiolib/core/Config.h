// Process-wide settings of the library (BASS_SetConfig / BASS_GetConfig).
#ifndef TONVERA_AUDIOLIB_CORE_CONFIG_H
#define TONVERA_AUDIOLIB_CORE_CONFIG_H

#include <atomic>
#include <cstdint>

namespace audiolib {

class Config {
  public:
    static Config& instance();

    // Milliseconds between refills of the playback buffers; 0 stops refilling altogether (an
    // offline render sets it so the live stream's feeder leaves the CPU alone).
    std::uint32_t updatePeriod() const { return updatePeriod_.load(std::memory_order_acquire); }
    void setUpdatePeriod(std::uint32_t ms) { updatePeriod_.store(ms, std::memory_order_release); }

  private:
    std::atomic<std::uint32_t> updatePeriod_{5};
};

}  // namespace audiolib

#endif
