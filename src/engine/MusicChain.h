// The music's chain of library objects, built the same way for live playback and for the export,
// so that what is exported is what was heard: a decoding source stream over the file, a tempo
// stream over it (the stretch engine with tempo, pitch plus tuning, rate and the hearing tools,
// and the limiter at its end) and the gain stage after it, which the limiter makes room for.
//
// Playback and export differ only where their use demands it: the live source decodes to float
// and the live tempo stream loops and is played on the device; the export's source is scanned
// for an exact length and decodes to 16-bit, and its tempo stream is a decoding stream that the
// exporter pulls.
//
// Ownership: the chain hands its handles to its user and frees nothing on its own. Once the tempo
// stream exists it owns the source (freeing it frees both); the engine frees the music when it
// replaces it, the export frees its no-sound device with every stream made on it.
//
// Threads: one chain is built and set on one thread (the main thread for playback, where the
// engine keeps it for the live controls; the export worker for the export). The library's last
// error belongs to the calling thread, which is why errorCode() is taken at the failing call
// itself, before any other library call can reset it.
#ifndef TONVERA_ENGINE_MUSICCHAIN_H
#define TONVERA_ENGINE_MUSICCHAIN_H

#include <cstdint>
#include <optional>
#include <string>

#include "formats/HearingSettings.h"

// Which stretch engine plays (and exports) the music. Stored in the user's settings as this
// number: never renumber.
enum class SoundQuality : std::int32_t {
    Best = 0,   // Rubber Band R3: the cleanest sound
    Light = 1,  // SoundTouch: uses much less CPU, for slow machines
};

// What the music sounds with: the values the player's controls set, which the export carries
// into the file.
struct MusicSettings {
    float tempo = 0.0F;   // percent
    float pitch = 0.0F;   // semitones
    float tuning = 0.0F;  // cents added to the pitch
    // The centre cancel, channels and focus filter.
    formats::HearingSettings hearing;
    // Playback rate in Hz; none means the file's own rate.
    std::optional<float> rate;
    // BASS_FX_TempoCreate flags choosing the stretch engine (MusicChain::engineFlags).
    std::uint32_t engineFlags = 0;
};

class MusicChain {
  public:
    enum class Use {
        Playback,  // float samples, looping, played on the output device
        Export,    // 16-bit samples, exact length, pulled block by block by the exporter
    };

    // The gain stage's linear factor: the music always sounds at twice the file's amplitude
    // before the volume (live) applies; the limiter keeps the peaks below full scale.
    static constexpr float kGain = 2.0F;
    // The factor that leaves the music at the file's own level (an export's default).
    static constexpr float kUnityGain = 1.0F;
    // Tuning in cents, either way.
    static constexpr float kMaxTuning = 50.0F;

    explicit MusicChain(Use use) : use_(use) {}

    // The tempo stream flags that select the stretch engine of `quality`.
    static std::uint32_t engineFlags(SoundQuality quality);

    // Step 1: the decoding source stream over the file at `path` (UTF-8). False when the library
    // cannot read it; errorCode() then holds its code.
    bool openSource(const std::string& path);
    // Step 2: the tempo stream over the source, with the stretch engine of `engineFlags`; it
    // then owns the source. False with errorCode() set when the library refuses; a source it
    // did not take is freed, except on the no-sound device of an export, which frees it with
    // itself.
    bool makeTempoStream(std::uint32_t engineFlags);
    // Step 3: the gain stage on the tempo stream, at the linear `factor`; the limiter then holds
    // the peaks at full scale divided by it.
    void addGain(float factor = kGain) const;
    // Step 4, one value at a time, so that each can be reported as it is set. Each returns
    // false when the library refuses the value (the stream keeps the one it had).
    bool setTempo(float percent) const;
    bool setPitch(float semitones, float tuningCents) const;
    bool setRate(float hz) const;
    // The centre cancel, channels and focus filter.
    bool setHearing(const formats::HearingSettings& hearing) const;
    // Whether the tempo stream takes `hz` as its rate; `*ownRate` gets the rate it has now.
    bool acceptsRate(float hz, float* ownRate) const;

    // The tempo stream once made, else the source stream, else 0.
    std::uint32_t handle() const { return tempo_ != 0 ? tempo_ : source_; }
    // The library's error code at the call that failed; 0 while nothing did.
    int errorCode() const { return errorCode_; }

  private:
    // The library pitch for `semitones` with `cents` of tuning added, within its range.
    static float pitchWithTuning(float semitones, float cents);

    Use use_;
    std::uint32_t source_ = 0;
    std::uint32_t tempo_ = 0;
    int errorCode_ = 0;
};

#endif
