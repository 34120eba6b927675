// What the hearing tools do to the music: the centre cancel, the channels heard and the focus
// filter. A plain value, passed from the controls to the stream that applies it.
#ifndef TONVERA_AUDIOLIB_DSP_HEARINGSETTINGS_H
#define TONVERA_AUDIOLIB_DSP_HEARINGSETTINGS_H

#include "audiolib/dsp/ChannelChoice.h"
#include "audiolib/dsp/FocusFilter.h"

namespace audiolib {

struct HearingSettings {
    ChannelChoice channels = ChannelChoice::Stereo;
    FocusSpec focus;
    bool centreCancel = false;

    bool neutral() const {
        return channels == ChannelChoice::Stereo && focus.band == FocusBand::Off && !centreCancel;
    }
    bool operator==(const HearingSettings&) const = default;
};

}  // namespace audiolib

#endif
