#include "audiolib/stretch/StretchEngine.h"

#include "audiolib/stretch/RubberBandEngine.h"
#include "audiolib/stretch/SoundTouchEngine.h"

namespace audiolib {

std::unique_ptr<StretchEngine> makeStretchEngine(StretchQuality quality, int rate, int channels) {
    if (quality == StretchQuality::Light)
        return std::make_unique<SoundTouchEngine>(rate, channels);
    return std::make_unique<RubberBandEngine>(rate, channels);
}

}  // namespace audiolib
