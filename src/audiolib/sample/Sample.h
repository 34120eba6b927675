// A loaded sample (BASS_SampleLoad) and its playback channels (BASS_SampleGetChannel).
#ifndef TONVERA_AUDIOLIB_SAMPLE_SAMPLE_H
#define TONVERA_AUDIOLIB_SAMPLE_SAMPLE_H

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "audiolib/core/LibObject.h"
#include "audiolib/sample/SampleData.h"
#include "audiolib/sample/SampleVoice.h"

namespace audiolib {

class Device;

class SampleChannel : public LibObject {
  public:
    SampleChannel(std::weak_ptr<Device> device, std::uint64_t deviceSerial,
                  std::uint32_t sampleHandle, std::uint32_t flags,
                  std::shared_ptr<const SampleData> data, std::string filename);

    ObjectKind kind() const override { return ObjectKind::SampleChannel; }
    std::uint32_t sampleHandle() const { return sampleHandle_; }
    std::uint32_t flags() const { return flags_; }
    const std::string& filename() const { return filename_; }
    const std::shared_ptr<const SampleData>& data() const { return data_; }
    std::shared_ptr<Device> device() const { return device_.lock(); }
    SampleVoice& voice() { return voice_; }
    const SampleVoice& voice() const { return voice_; }

  private:
    std::weak_ptr<Device> device_;
    std::uint32_t sampleHandle_;
    std::uint32_t flags_;
    std::string filename_;
    std::shared_ptr<const SampleData> data_;
    SampleVoice voice_;
};

class Sample : public LibObject {
  public:
    Sample(std::weak_ptr<Device> device, std::uint64_t deviceSerial, std::uint32_t flags,
           int maxChannels, std::shared_ptr<const SampleData> data, std::string filename);

    ObjectKind kind() const override { return ObjectKind::Sample; }
    std::uint32_t flags() const { return flags_; }
    const std::shared_ptr<const SampleData>& data() const { return data_; }
    const std::string& filename() const { return filename_; }
    std::shared_ptr<Device> device() const { return device_.lock(); }

    // A new channel, or nullptr when `max` channels of this sample exist already.
    std::shared_ptr<SampleChannel> makeChannel();
    // Handles of the channels made so far and not yet forgotten.
    std::vector<std::uint32_t> channelHandles() const;
    void forgetChannel(std::uint32_t handle);

  private:
    std::weak_ptr<Device> device_;
    std::uint32_t flags_;
    int maxChannels_;
    std::shared_ptr<const SampleData> data_;
    std::string filename_;
    mutable std::mutex mutex_;
    std::vector<std::weak_ptr<SampleChannel>> channels_;
};

}  // namespace audiolib

#endif
