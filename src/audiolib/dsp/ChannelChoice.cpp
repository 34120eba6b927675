#include "audiolib/dsp/ChannelChoice.h"

#include <utility>

namespace audiolib {

void applyChannelChoice(ChannelChoice choice, float* frames, std::size_t count, int channels) {
    if (choice == ChannelChoice::Stereo || channels < 2)
        return;
    const auto width = static_cast<std::size_t>(channels);
    for (std::size_t i = 0; i < count; ++i) {
        float& left = frames[i * width];
        float& right = frames[i * width + 1];
        switch (choice) {
            case ChannelChoice::LeftOnly:
                right = left;
                break;
            case ChannelChoice::RightOnly:
                left = right;
                break;
            case ChannelChoice::Mono:
                // Half of each: a sound on both channels keeps its level, none can clip.
                left = right = 0.5F * (left + right);
                break;
            case ChannelChoice::Swapped:
                std::swap(left, right);
                break;
            case ChannelChoice::Stereo:
                break;
        }
    }
}

}  // namespace audiolib
