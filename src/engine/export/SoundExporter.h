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
// cancel() is the one call allowed from any thread (the export sheet makes it on the UI thread):
// it only sets an atomic flag, which exportTo() reads between blocks, so it never waits for the
// lock the exporting thread holds.
//
// The file is written as a temporary file in the chosen one's folder (unnamed where the file
// system allows) and put in place only when complete; on any failure nothing is left behind and
// a file that was there stays as it was. A target that cannot take the file (a folder, a device,
// a pipe) is refused before anything is rendered. Music that ends early or changes on disk while
// it is read fails the export rather than leaving a file whose end is missing or silent.
#ifndef TONVERA_ENGINE_EXPORT_SOUNDEXPORTER_H
#define TONVERA_ENGINE_EXPORT_SOUNDEXPORTER_H

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "engine/MusicChain.h"
#include "formats/HearingSettings.h"

class SoundExportProtocol;

// How loud the file comes out.
enum class ExportLevel {
    Original,  // the recording's own level: the gain stage runs at a factor of 1
    Heard,     // as the player sounds at full volume: doubled, the limiter holding full scale
};

// What is exported: the music file and the values it sounds with. The window copies them from
// the engine; the command line brings its own.
struct ExportSettings : MusicSettings {
    std::string musicFile;
    ExportLevel level = ExportLevel::Original;
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

    // Any thread, any time during the exporter's life: asks exportTo() to stop at its next
    // block; the render then ends with nothing left behind and a file that was at the chosen
    // name untouched. A cancel that comes once the file is complete changes nothing.
    void cancel() { cancelRequested_.store(true, std::memory_order_release); }
    // After exportTo(): whether cancel() stopped it (it then returned false, failure() empty).
    bool wasCancelled() const { return cancelled_; }

    // One sentence for the user about the last failure of prepare() or exportTo(); empty when
    // nothing failed.
    const std::string& failure() const { return failure_; }

  private:
    // Starts the encoder of `type` on `path`, after its log line; false when no encoder runs.
    bool startEncoder(std::int32_t type, const std::string& path);
    std::string encoderError() const;

    // Positions the stream at the range's start; the bytes it renders to, or 0 for the whole.
    std::uint64_t startRange();
    bool cancelRequested() const { return cancelRequested_.load(std::memory_order_acquire); }
    // Whether the music file on disk is still the one prepare() opened.
    bool musicFileUnchanged() const;

    MusicChain chain_{MusicChain::Use::Export};
    std::uint32_t musicChannel_ = 0;
    double rangeStart_ = 0.0;
    double rangeEnd_ = 0.0;
    float mf_Tempo = 0.0F;
    float mf_Pitch = 0.0F;
    float mf_Rate = 0.0F;
    float tuning_ = 0.0F;
    formats::HearingSettings hearing_;
    ExportLevel level_ = ExportLevel::Original;
    SoundExportProtocol* delegate_ = nullptr;
    int outputDevice_ = 0;
    std::string musicFile_;
    // The music file as prepare() found it; see musicFileUnchanged().
    struct FileIdentity {
        std::uint64_t device = 0;
        std::uint64_t inode = 0;
        std::int64_t size = -1;
        std::int64_t modifiedNs = 0;
        bool operator==(const FileIdentity&) const = default;
    };
    static std::optional<FileIdentity> identityOf(const std::string& path);
    std::optional<FileIdentity> musicIdentity_;
    std::string failure_;
    std::recursive_mutex lock_;
    // Set by cancel() on any thread, read by the exporting thread between blocks.
    std::atomic<bool> cancelRequested_{false};
    // The exporting thread's own record of the outcome.
    bool cancelled_ = false;
    // The rendered blocks land here; the encoder has them already, so their contents are unused.
    std::vector<char> block_;
};

#endif
