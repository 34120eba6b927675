// Renders a music file, with the tempo, pitch, rate and hearing tools it plays with, into a WAV,
// MP4 (AAC) or M4A (ALAC) file, as fast as decoding and encoding go, through the music chain that
// live playback is built with (stretch engine, gain and limiter), on the library's no-sound
// device. It takes a plain settings value: the window copies the engine's, the command line
// brings its own.
//
// Threads: the caller sets the delegate, then calls prepare(), exportTo() (only when prepare()
// succeeded) and finish() (always), in that order and on one thread: the library's current
// device is a per-thread choice, so the no-sound device selected in prepare() is the one
// exportTo() renders on and finish() frees, while the live stream stays on the engine's device.
// Each of the three holds the exporter's lock for its whole run. One exporter serves one export.
//
// The file is written as a temporary file in the chosen one's folder (unnamed where the file
// system allows) and put in place only when complete; on any failure nothing is left behind and
// a file that was there stays as it was. A target that cannot take the file (a folder, a device,
// a pipe) is refused before anything is rendered.
#ifndef TONVERA_ENGINE_EXPORT_SOUNDEXPORTER_H
#define TONVERA_ENGINE_EXPORT_SOUNDEXPORTER_H

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "engine/MusicChain.h"
#include "formats/HearingSettings.h"

class SoundExportProtocol;

// What is exported: the music file and the values it sounds with. The window copies them from
// the engine; the command line brings its own.
struct ExportSettings : MusicSettings {
    std::string musicFile;
    // The output device that finish() hands the exporting thread back to: the engine's, or 0
    // where there is none (the command line).
    int outputDevice = 0;
};

class SoundExporter {
  public:
    SoundExporter();
    SoundExporter(const SoundExporter&) = delete;
    SoundExporter& operator=(const SoundExporter&) = delete;

    // Not owned: the receiver must outlive the export (the export window joins the thread
    // that runs it before it goes).
    SoundExportProtocol* delegate() const { return delegate_; }
    void setDelegate(SoundExportProtocol* delegate) { delegate_ = delegate; }

    // The settings are copied now; later changes to the live controls do not reach the export.
    bool prepare(const ExportSettings& settings);
    // After prepare(): whether the music takes `hz` as its rate (1/16 to 16 times its own);
    // `*ownRate` gets the file's own rate.
    bool acceptsRate(float hz, float* ownRate) const;
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

  private:
    // Starts the encoder of `type` on `path`, after its log line; false when no encoder runs.
    bool startEncoder(std::int32_t type, const std::string& path);
    std::string encoderError() const;

    // Positions the stream at the range's start; the bytes it renders to, or 0 for the whole.
    std::uint64_t startRange();

    MusicChain chain_{MusicChain::Use::Export};
    std::uint32_t musicChannel_ = 0;
    double rangeStart_ = 0.0;
    double rangeEnd_ = 0.0;
    float mf_Tempo = 0.0F;
    float mf_Pitch = 0.0F;
    float mf_Rate = 0.0F;
    float tuning_ = 0.0F;
    formats::HearingSettings hearing_;
    SoundExportProtocol* delegate_ = nullptr;
    int outputDevice_ = 0;
    std::string musicFile_;
    std::string failure_;
    std::recursive_mutex lock_;
    // The rendered blocks land here; the encoder has them already, so their contents are unused.
    std::vector<char> block_;
};

#endif
