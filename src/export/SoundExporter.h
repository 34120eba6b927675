// Renders the open music, with the tempo, pitch and rate it plays at, into a WAV, MP4 (AAC) or
// M4A (ALAC) file, as fast as decoding and encoding go, through the same tempo stream (engine,
// gain and limiter) that live playback uses, on the library's no-sound device.
//
// The caller sets the delegate, then calls prepare(), exportTo() (only when prepare() succeeded)
// and finish() (always), in that order and on one thread: the library's current device is a
// per-thread choice, so the no-sound device selected in prepare() is the one exportTo() renders
// on and finish() frees, while the live stream stays on the engine's device. Each of the three
// holds the exporter's lock for its whole run. One exporter serves one export.
//
// The file is written beside the chosen one under a temporary name and renamed over it only when
// complete; on any failure nothing is left behind and a file that was there stays as it was.
#ifndef TONVERA_EXPORT_SOUNDEXPORTER_H
#define TONVERA_EXPORT_SOUNDEXPORTER_H

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "formats/HearingSettings.h"

class SoundEngine;
class SoundExportProtocol;

// What is exported: the music file and the values it is rendered with. The program takes them
// from the engine; the command line brings its own.
struct ExportSettings {
    std::string musicFile;
    float tempo = 0.0F;   // percent
    float pitch = 0.0F;   // semitones
    float tuning = 0.0F;  // cents added to the pitch
    // The centre cancel, channels and focus filter, as the music plays with them.
    formats::HearingSettings hearing;
    // Playback rate in Hz; none means the file's own rate.
    std::optional<float> rate;
    // BASS_FX_TempoCreate flags choosing the stretch engine (see SoundEngine::tempoEngineFlags).
    std::uint32_t engineFlags = 0;
};

class SoundExporter {
  public:
    // Reads its values from the program's shared engine.
    SoundExporter();
    explicit SoundExporter(SoundEngine& engine);
    SoundExporter(const SoundExporter&) = delete;
    SoundExporter& operator=(const SoundExporter&) = delete;

    // Not owned: the receiver must outlive the export (the export window joins the thread
    // that runs it before it goes).
    SoundExportProtocol* delegate() const { return delegate_; }
    void setDelegate(SoundExportProtocol* delegate) { delegate_ = delegate; }

    // The engine's tempo, pitch, tuning, hearing tools, rate, music file and engine choice,
    // copied now.
    bool prepare();
    bool prepare(const ExportSettings& settings);
    // type: 0 WAV, 1 MP4, 2 M4A. True when the file is complete under `out`; false when
    // anything failed (failure() says what), with no file left behind.
    bool exportTo(std::int32_t type, const std::string& out);
    bool finish();
    // Only the span from `start` to `end` seconds of the music (an A-B loop), from the next
    // exportTo() on; end <= start exports the whole music again.
    void setRange(double start, double end);

    // One sentence for the user about the last failure of prepare() or exportTo(); empty when
    // nothing failed.
    const std::string& failure() const { return failure_; }
    std::uint32_t musicChannel() const { return musicChannel_; }

  private:
    bool prepareLocked(const ExportSettings& settings, bool rateFromEngine);
    // Starts the encoder of `type` on `path`, after its log line; false when no encoder runs.
    bool startEncoder(std::int32_t type, const std::string& path);
    std::string encoderError() const;

    // Positions the stream at the range's start; the bytes it renders to, or 0 for the whole.
    std::uint64_t startRange();

    std::uint32_t musicChannel_ = 0;
    double rangeStart_ = 0.0;
    double rangeEnd_ = 0.0;
    float mf_Tempo = 0.0F;
    float mf_Pitch = 0.0F;
    float mf_Rate = 0.0F;
    float tuning_ = 0.0F;
    formats::HearingSettings hearing_;
    SoundExportProtocol* delegate_ = nullptr;
    SoundEngine* engine_;
    std::string musicFile_;
    std::string failure_;
    std::recursive_mutex lock_;
    // The rendered blocks land here; the encoder has them already, so their contents are unused.
    std::vector<char> block_;
};

#endif
