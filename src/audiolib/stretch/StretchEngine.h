// The time-stretch and pitch-shift processing behind a tempo stream. Two implementations: the
// best-quality RubberBandEngine and the cheaper SoundTouchEngine. Frames are interleaved floats
// of the channel count the engine was made for.
//
// Threads: one thread at a time (the one holding the tempo stream's mutex). Nothing here
// allocates after construction as long as put() gets at most maxPutFrames() frames at once.
#ifndef TONVERA_AUDIOLIB_STRETCH_STRETCHENGINE_H
#define TONVERA_AUDIOLIB_STRETCH_STRETCHENGINE_H

#include <cstddef>
#include <memory>

namespace audiolib {

enum class StretchQuality { Best, Light };

struct StretchSettings {
    double tempo = 1.0;       // how much faster than the source the music runs, pitch kept
    double pitchScale = 1.0;  // frequency factor, tempo kept
    double rate = 1.0;        // playback rate factor: changes speed and pitch together

    // Source frames that pass per output frame.
    double sourcePerOutput() const { return tempo * rate; }
    bool operator==(const StretchSettings&) const = default;
};

class StretchEngine {
  public:
    static constexpr std::size_t kMaxPutFrames = 1024;

    virtual ~StretchEngine() = default;

    // For the log line written when a stream is made.
    virtual const char* name() const = 0;
    // Heard from the next processed input on; what is already in output() stays as it was.
    virtual void setSettings(const StretchSettings& settings) = 0;
    // Forgets all input and output (a seek).
    virtual void reset() = 0;

    // After a reset, feed this many frames of silence and drop the first startDelay() output
    // frames: from then on output frame n is source frame n * sourcePerOutput() of the real
    // input, for the settings in force at the reset.
    virtual std::size_t startPad() const = 0;
    virtual std::size_t startDelay() const = 0;
    // True when the silence of startPad() is heard in front of the music rather than dropped
    // with startDelay(): the music then starts after it with whatever step its first frame
    // makes, and the tempo stream fades it in.
    virtual bool padHeard() const { return false; }
    // How many source frames what is heard runs ahead of source frame n * sourcePerOutput() at
    // output frame n, on average, for the settings in force and before startPad() and
    // startDelay() compensate it (they do, at a restart). When a settings change changes it,
    // the tempo stream moves its position by the difference.
    virtual double heardLead() const { return 0.0; }

    // Input: at most kMaxPutFrames at a time.
    virtual void put(const float* frames, std::size_t count) = 0;
    // Output frames ready to be taken; made with the settings in force when they were processed.
    virtual std::size_t available() const = 0;
    virtual std::size_t take(float* out, std::size_t frames) = 0;
    // Output frames that are already shaped by the settings of the moment though not yet in
    // available(): a settings change reaches the output only after available() + this many.
    virtual std::size_t committedFrames() const = 0;
};

std::unique_ptr<StretchEngine> makeStretchEngine(StretchQuality quality, int rate, int channels);

}  // namespace audiolib

#endif
