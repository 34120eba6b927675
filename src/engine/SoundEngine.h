// The one audio engine of the process: the output device, the one piece of music (the music
// chain: a decoding source stream, a tempo stream over it and a gain effect on that), one-shot
// samples, and the spectrum and waveform data of what is sounding.
//
// Threads: everything is called on the main thread, except setSoundQuality(), soundQuality(),
// tuning(), hearing() and musicFile(), which any thread may call. The export reads the engine's
// values on the main thread and hands its worker a copy, so no worker calls into the engine. The
// audio library underneath is thread-safe; musicFile is guarded by its own mutex. spectrumData()
// and waveData() hold the engine's recursive lock for their whole run; no other operation takes
// it.
#ifndef TONVERA_ENGINE_SOUNDENGINE_H
#define TONVERA_ENGINE_SOUNDENGINE_H

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "engine/MusicChain.h"
#include "formats/HearingSettings.h"

// What open() says: whether the music is ready, and if not, the library's error code taken at the
// call that failed (later calls, such as freeing what was half made, reset the thread's last
// error). Reads as a plain bool where only success matters.
struct OpenResult {
    bool opened = false;
    int errorCode = 0;
    operator bool() const { return opened; }
};

class SoundEngine {
  public:
    // Plain construction: no device, no music. Tests make their own engines; the program uses
    // sharedSingleton().
    SoundEngine() = default;
    SoundEngine(const SoundEngine&) = delete;
    SoundEngine& operator=(const SoundEngine&) = delete;

    static SoundEngine& sharedSingleton();
    // The library's major and minor version as one number (2.4 gives 516).
    static int versionString();

    bool initialize();
    OpenResult open(const std::string& path);
    // Used from the next open() on; the music that is loaded keeps its engine. Any thread.
    void setSoundQuality(SoundQuality quality);
    SoundQuality soundQuality() const;
    // BASS_FX_TempoCreate flags that select the engine of the current sound quality, for every
    // tempo stream made of the music (playback and export sound the same).
    std::uint32_t tempoEngineFlags() const;
    bool musicAvailable() const;
    void play();
    void pause();
    bool isPlaying() const;

    // Volume is 0..100 here and 0..1 in the library; volume() returns the library level.
    void setVolume(float volume);
    void setTempo(float percent);
    void setPitch(float semitones);
    void setSamplerate(float hz);
    float volume() const;
    float tempo() const;
    float pitch() const;
    float samplerate() const;

    // Whole seconds of the source file, truncated.
    void setCurrentPosition(std::uint32_t seconds);
    std::uint32_t currentpos() const;
    std::uint32_t length() const;
    // The same positions to the frame, in seconds of the source with their fractions, for the
    // practice tools (loops, markers, the overview) that must land exactly where they point.
    // A seek past the end changes nothing; 0 without music.
    void seekSeconds(double seconds);
    double positionSeconds() const;
    double lengthSeconds() const;
    float tempoRatio() const;
    std::uint32_t numChannels() const;

    void switchToDevice();
    bool close();
    // At the end of the run: frees the music, then everything else on the device and the device
    // itself, before any static object goes.
    void shutdown();
    void reset();

    std::string musicFile() const;
    void setMusicFile(const std::string& path);
    // The tempo stream of the music chain; 0 without music.
    std::uint32_t musicChannel() const { return music_.handle(); }
    int bassDevice() const { return bassDevice_; }

    // ---- practice tools (SoundEnginePractice.cpp)
    // The output device's clock: frames mixed so far and its rate; nullopt without a device.
    struct Clock {
        std::uint64_t frame = 0;
        std::uint32_t rate = 0;
    };
    std::optional<Clock> clock() const;
    // Starts the music so that its first frame is heard at device frame `frame`.
    bool playAt(std::uint64_t frame);
    // A loop from `start` to `end` seconds of the source, wrapped inside the audio layer;
    // end <= start clears it. Passes count from here.
    bool setLoop(double start, double end);
    // Every `passesPerStep` passes the tempo moves `step` points toward `target`; 0 passes off.
    bool setTrainer(float target, float step, std::uint32_t passesPerStep);
    std::uint32_t loopPasses() const;
    // A sample channel clicks from device frame `firstFrame` on, every `intervalSeconds`,
    // `count` times (0: until stopBeats), the bar's first beat higher with `accent`.
    bool playBeats(std::uint32_t channel, std::uint64_t firstFrame, double intervalSeconds,
                   std::uint32_t count, int beatsPerBar, bool accent);
    void stopBeats(std::uint32_t channel);
    // Before every pass through the loop after the first, `beats` clicks of the sample channel
    // `click` at its volume; 0 beats: none.
    bool setLoopCountIn(std::uint32_t click, int beats, double intervalSeconds, int beatsPerBar,
                        bool accent);

    // ---- hearing one part (SoundEngineHearing.cpp)
    // Cents (-50..50) added to the pitch, so that a recording tuned off A = 440 can be brought
    // to it; pitch() stays the semitones set. Each newly opened music starts at 0. Any thread.
    static constexpr float kMaxTuning = MusicChain::kMaxTuning;
    bool setTuning(float cents);
    float tuning() const;
    // The centre cancel, the channels heard and the focus filter: they stay for every music
    // opened after. False (nothing changed) when the library refuses them.
    bool setHearing(const formats::HearingSettings& settings);
    formats::HearingSettings hearing() const;

    // One-shot samples: one playback channel per loaded sample; 0 on failure.
    std::uint32_t loadSample(const std::string& path);
    void playSample(std::uint32_t channel);
    void setSampleVolume(std::uint32_t channel, float volume);

    // Scaled spectrum bins 1..size/2 of what is sounding; nullopt when the music is not playing.
    std::optional<std::vector<int>> spectrumData(int size, int height);
    // One trace per channel of the last `size` frames, values 0..height-1.
    std::vector<std::vector<int>> waveData(int size, int height);

  private:
    MusicChain music_{MusicChain::Use::Playback};
    std::string musicFile_;
    bool hasMusicFile_ = false;
    int bassDevice_ = 0;
    std::atomic<SoundQuality> soundQuality_{SoundQuality::Best};
    mutable std::mutex musicFileMutex_;
    std::atomic<float> tuning_{0.0F};
    formats::HearingSettings hearing_;  // guarded by hearingMutex_
    mutable std::mutex hearingMutex_;
    std::recursive_mutex dataLock_;
};

#endif
