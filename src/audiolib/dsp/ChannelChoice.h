// Which channels of a stereo recording are heard: both as recorded, one of them on both
// sides, the two summed to mono, or left and right swapped.
#ifndef TONVERA_AUDIOLIB_DSP_CHANNELCHOICE_H
#define TONVERA_AUDIOLIB_DSP_CHANNELCHOICE_H

#include <cstddef>
#include <cstdint>

#include "formats/HearingSettings.h"

namespace audiolib {

using formats::ChannelChoice;
using formats::isChannelChoice;

// Interleaved frames of `channels` channels, in place; only the first two channels take part
// (a mono signal is left alone).
void applyChannelChoice(ChannelChoice choice, float* frames, std::size_t count, int channels);

}  // namespace audiolib

#endif
