#include "audiolib/sample/Sample.h"

#include <algorithm>

namespace audiolib {

SampleChannel::SampleChannel(std::weak_ptr<Device> device, std::uint64_t deviceSerial,
                             std::uint32_t sampleHandle, std::uint32_t flags,
                             std::shared_ptr<const SampleData> data, std::string filename)
    : LibObject(deviceSerial),
      device_(std::move(device)),
      sampleHandle_(sampleHandle),
      flags_(flags),
      filename_(std::move(filename)),
      data_(data),
      voice_(std::move(data)) {}

Sample::Sample(std::weak_ptr<Device> device, std::uint64_t deviceSerial, std::uint32_t flags,
               int maxChannels, std::shared_ptr<const SampleData> data, std::string filename)
    : LibObject(deviceSerial),
      device_(std::move(device)),
      flags_(flags),
      maxChannels_(maxChannels),
      data_(std::move(data)),
      filename_(std::move(filename)) {}

std::shared_ptr<SampleChannel> Sample::makeChannel() {
    std::lock_guard lock(mutex_);
    std::erase_if(channels_, [](const auto& channel) { return channel.expired(); });
    if (static_cast<int>(channels_.size()) >= maxChannels_)
        return nullptr;
    auto channel = std::make_shared<SampleChannel>(device_, deviceSerial(), handle(), flags_, data_,
                                                   filename_);
    channels_.push_back(channel);
    return channel;
}

std::vector<std::uint32_t> Sample::channelHandles() const {
    std::lock_guard lock(mutex_);
    std::vector<std::uint32_t> handles;
    for (const auto& weak : channels_) {
        if (auto channel = weak.lock())
            handles.push_back(channel->handle());
    }
    return handles;
}

void Sample::forgetChannel(std::uint32_t handle) {
    std::lock_guard lock(mutex_);
    std::erase_if(channels_, [handle](const auto& weak) {
        auto channel = weak.lock();
        return !channel || channel->handle() == handle;
    });
}

}  // namespace audiolib
