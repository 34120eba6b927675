// What the hearing tools do to the music: the centre cancel, the channels heard and the focus
// filter. Plain values that the controls, the settings files, the engine and the audio layer all
// speak; the numbers are those the files store and the C surface passes.
#ifndef TONVERA_FORMATS_HEARINGSETTINGS_H
#define TONVERA_FORMATS_HEARINGSETTINGS_H

#include <cmath>
#include <cstdint>

namespace formats {

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

// Stored in settings files and passed through the C surface as these numbers: never renumber.
enum class FocusBand : std::int32_t {
    Off = 0,
    Bass = 1,     // up to about 250 Hz; the rest 18 dB down
    LowMids = 2,  // about 200 Hz to 1.2 kHz; the rest 18 dB down
    Highs = 3,    // from about 2 kHz; below 18 dB down
    Custom = 4,   // a peak or notch: centre, width in octaves, gain in dB
};

struct FocusSpec {
    FocusBand band = FocusBand::Off;
    float centreHz = 1000.0F;
    float widthOctaves = 1.0F;
    float gainDb = 12.0F;

    static constexpr float kMinCentre = 20.0F;
    static constexpr float kMaxCentre = 20000.0F;
    static constexpr float kMinWidth = 0.1F;
    static constexpr float kMaxWidth = 6.0F;
    static constexpr float kMaxGain = 30.0F;  // dB either way

    // Within the limits above and finite. Inline: the settings file reads specs without the
    // filters themselves.
    bool valid() const {
        const auto index = static_cast<std::int32_t>(band);
        if (index < static_cast<std::int32_t>(FocusBand::Off) ||
            index > static_cast<std::int32_t>(FocusBand::Custom))
            return false;
        if (!std::isfinite(centreHz) || !std::isfinite(widthOctaves) || !std::isfinite(gainDb))
            return false;
        return centreHz >= kMinCentre && centreHz <= kMaxCentre && widthOctaves >= kMinWidth &&
               widthOctaves <= kMaxWidth && std::fabs(gainDb) <= kMaxGain;
    }
    bool operator==(const FocusSpec&) const = default;
};

struct HearingSettings {
    ChannelChoice channels = ChannelChoice::Stereo;
    FocusSpec focus;
    bool centreCancel = false;

    bool neutral() const {
        return channels == ChannelChoice::Stereo && focus.band == FocusBand::Off && !centreCancel;
    }
    bool operator==(const HearingSettings&) const = default;
};

}  // namespace formats

#endif
