// Which channels of a stereo recording are heard: both as recorded, one of them on both
// sides, the two summed to mono, or left and right swapped.
#ifndef TONVERA_AUDIOLIB_DSP_CHANNELCHOICE_H
#define TONVERA_AUDIOLIB_DSP_CHANNELCHOICE_H

#include <cstddef>
#include <cstdint>

namespace audiolib {

// Stored in settings files and passed through the C surface as these numbers: never renumber.
enum class ChannelChoice : std::int32_t {
    Stereo = 0,
    LeftOnly = 1,
    RightOnly = 2,
    Mono = 3,
    Swapped = 4,
};

constexpr bool isChannelChoice(std::int32_t value) {
    return value >= 0 && value <= static_cast<std::int32_t>(ChannelChoice::Swapped);
}

// Interleaved frames of `channels` channels, in place; only the first two channels take part
// (a mono signal is left alone).
void applyChannelChoice(ChannelChoice choice, float* frames, std::size_t count, int channels);

}  // namespace audiolib

#endif
