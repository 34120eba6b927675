// The focus filters a player picks to hear one part better: the bass with the rest turned
// down, the low mids, the highs, or a band of its own choosing. Built from libavfilter's
// biquad filters, so they add no delay and keep their state from block to block.
//
// Threads: one thread at a time; set() allocates (a new filter graph), process() does not.
#ifndef TONVERA_AUDIOLIB_DSP_FOCUSFILTER_H
#define TONVERA_AUDIOLIB_DSP_FOCUSFILTER_H

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace audiolib {

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

// The libavfilter chain for a spec ("" for Off), e.g. "treble=f=250:...".
std::string focusChain(const FocusSpec& spec, int rate);

class FocusFilter {
  public:
    FocusFilter(int rate, int channels);
    ~FocusFilter();
    FocusFilter(const FocusFilter&) = delete;
    FocusFilter& operator=(const FocusFilter&) = delete;

    // False (and the filter off) when the graph cannot be built.
    bool set(const FocusSpec& spec);
    const FocusSpec& spec() const { return spec_; }
    bool active() const;
    // Interleaved frames, in place; passes them untouched while off.
    void process(float* frames, std::size_t count);
    // Forgets the filters' state (a seek), keeping the spec.
    void reset();

  private:
    struct Graph;
    int rate_;
    int channels_;
    FocusSpec spec_;
    std::unique_ptr<Graph> graph_;
};

}  // namespace audiolib

#endif
