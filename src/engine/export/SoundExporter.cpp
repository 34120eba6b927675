#include "engine/export/SoundExporter.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>

#include "audiolib/audiolib.h"
#include "engine/OutputDevice.h"
#include "engine/export/ExportProgress.h"
#include "engine/export/ExportTarget.h"
#include "engine/export/ExportType.h"
#include "engine/export/SoundExportProtocol.h"
#include "logging/Console.h"
#include "logging/Logger.h"

namespace {

constexpr DWORD kBlockBytes = 20000;
constexpr QWORD kLengthUnknown = static_cast<QWORD>(-1);
constexpr DWORD kDataError = static_cast<DWORD>(-1);
// A range's rendered length may miss the one worked out up front by rounding at another rate; a
// source that really came up short misses it by far more.
constexpr double kLengthSlackSeconds = 0.001;
constexpr const char* kMusicChanged = "The music file changed while it was exported.";

Logger& exportLog() {
    return Logger::sharedSingleton();
}

// Four-character codes with the first character in the most significant byte.
constexpr DWORD fourCC(char a, char b, char c, char d) {
    return (static_cast<DWORD>(static_cast<unsigned char>(a)) << 24) |
           (static_cast<DWORD>(static_cast<unsigned char>(b)) << 16) |
           (static_cast<DWORD>(static_cast<unsigned char>(c)) << 8) |
           static_cast<DWORD>(static_cast<unsigned char>(d));
}

}  // namespace

SoundExporter::SoundExporter() : block_(kBlockBytes) {}

bool SoundExporter::prepare(const ExportSettings& settings) {
    std::lock_guard lock(lock_);
    exportLog().write("SoundExporter.prepare start");
    failure_.clear();
    mf_Tempo = settings.tempo;
    mf_Pitch = settings.pitch;
    tuning_ = settings.tuning;
    hearing_ = settings.hearing;
    mf_Rate = settings.rate.value_or(0.0F);
    outputDevice_ = settings.outputDevice;
    level_ = settings.level;

    console("SoundExporter.prepare: bass set config");
    // Process-wide: the live stream is paused under the export sheet meanwhile.
    BASS_SetConfig(BASS_CONFIG_UPDATEPERIOD, 0);

    console("SoundExporter.prepare: exporer  version");
    exportLog().writef("SoundExporter: FX-Version: %i",
                       static_cast<int>(BASS_FX_GetVersion() >> 16));

    console("SoundExporter.prepare: device before init ");
    exportLog().writef("SoundExport: device before init %i", static_cast<int>(BASS_GetDevice()));
    if (!BASS_Init(0, 44100, 0, nullptr, nullptr))
        exportLog().write("SoundExporter.exportWAV: Can't initialize device");
    exportLog().writef("SoundExport: device after init %i", static_cast<int>(BASS_GetDevice()));
    // For this thread only: the main thread's live stream stays on its device.
    if (BASS_SetDevice(0))
        exportLog().write("SoundExport: switched to no sound for export");
    else
        exportLog().writef("SoundExporter: set device error: %i", BASS_ErrorGetCode());

    musicFile_ = settings.musicFile;
    console("SoundExporter: opening file %s", musicFile_.c_str());
    // Taken before the file is opened, so that a change between the two still shows.
    musicIdentity_ = identityOf(musicFile_);
    // The chain of live playback, decoding to 16-bit for the file.
    if (!chain_.openSource(musicFile_)) {
        exportLog().writef("SoundExporter: failed to load file: %s", musicFile_.c_str());
        failure_ = "The music file " + musicFile_ + " could not be read.";
        return false;
    }
    if (!chain_.makeTempoStream(settings.engineFlags)) {
        const int error = chain_.errorCode();
        exportLog().writef("SoundExporter: failed to create fx channel for file: error: %i -> %s",
                           error, musicFile_.c_str());
        failure_ =
            "The music could not be prepared for export (error " + std::to_string(error) + ").";
        return false;
    }
    musicChannel_ = chain_.handle();
    if (!settings.rate)
        BASS_ChannelGetAttribute(musicChannel_, BASS_ATTRIB_FREQ, &mf_Rate);
    exportLog().write("SoundExporter.prepare end");
    return true;
}

bool SoundExporter::acceptsRate(float hz, float* ownRate) const {
    return chain_.acceptsRate(hz, ownRate);
}

bool SoundExporter::startEncoder(std::int32_t type, const std::string& path) {
    HENCODE encoder = 0;
    switch (type) {
        case exporttype::kWav:
            encoder =
                BASS_Encode_Start(musicChannel_, path.c_str(), BASS_ENCODE_PCM, nullptr, nullptr);
            break;
        case exporttype::kMp4:
            encoder = BASS_Encode_StartCAFile(musicChannel_, fourCC('m', 'p', '4', 'f'),
                                              fourCC('a', 'a', 'c', ' '), 0, 0, path.c_str());
            break;
        case exporttype::kM4a:
            encoder = BASS_Encode_StartCAFile(musicChannel_, fourCC('m', '4', 'a', 'f'),
                                              fourCC('a', 'l', 'a', 'c'), 0, 0, path.c_str());
            break;
        default:
            break;
    }
    return encoder != 0;
}

std::string SoundExporter::encoderError() const {
    char text[512] = {};
    TONVERA_Encode_GetError(musicChannel_, text, sizeof text);
    return text[0] ? text : "the encoder stopped";
}

bool SoundExporter::exportTo(std::int32_t type, const std::string& out) {
    std::lock_guard lock(lock_);
    failure_.clear();
    cancelled_ = false;
    exportLog().writef("SoundExporter: exporting : %s", out.c_str());
    if (musicChannel_ == 0) {
        failure_ = "There is no music to export.";
        return false;
    }
    // Writing onto the file that is being read would destroy it half-way.
    if (ExportTarget::sameFile(out, musicFile_)) {
        exportLog().writef("SoundExporter: refusing to export onto the music file itself: %s",
                           out.c_str());
        failure_ = "The export cannot replace the music file it is made from. Choose another name.";
        return false;
    }

    // The live stream's gain stage, at the music's own level unless the level heard at full
    // volume was asked for; the live volume is not carried over.
    const bool heard = level_ == ExportLevel::Heard;
    chain_.addGain(heard ? MusicChain::kGain : MusicChain::kUnityGain);
    if (heard)
        exportLog().writef("SoundExport: level as heard, gain %f",
                           static_cast<double>(MusicChain::kGain));

    // The rate change is carried into the file by the tempo stream itself: it resamples so
    // that its frames stay at the file's own sample rate, the rate the file is written at. A
    // higher rate so comes out faster and higher, as live playback sounds, in a standard file.
    chain_.setTempo(mf_Tempo);
    exportLog().writef("SoundExport: tempo %f", static_cast<double>(mf_Tempo));
    chain_.setPitch(mf_Pitch, tuning_);
    exportLog().writef("SoundExport: pitch %f", static_cast<double>(mf_Pitch));
    if (tuning_ != 0.0F)
        exportLog().writef("SoundExport: tuning %f cents", static_cast<double>(tuning_));
    if (!hearing_.neutral()) {
        // The export hears the music as it plays: the same stage on the same tempo stream.
        const bool applied = chain_.setHearing(hearing_);
        exportLog().writef("SoundExport: hearing channels %d focus %d centre cancel %d%s",
                           static_cast<int>(hearing_.channels),
                           static_cast<int>(hearing_.focus.band), hearing_.centreCancel ? 1 : 0,
                           applied ? "" : " (refused)");
    }
    chain_.setRate(mf_Rate);
    exportLog().writef("SoundExport: rate %f", static_cast<double>(mf_Rate));

    // A range's length is what the stream renders of it; the progress counts from its start.
    const std::uint64_t rangeBytes = startRange();
    const QWORD rangeFrom =
        rangeBytes > 0 ? BASS_ChannelGetPosition(musicChannel_, BASS_POS_BYTE) : 0;
    const QWORD length = rangeBytes > 0
                             ? BASS_ChannelSeconds2Bytes(musicChannel_, rangeEnd_) - rangeFrom
                             : BASS_ChannelGetLength(musicChannel_, BASS_POS_BYTE);
    if (delegate_)
        delegate_->exportLength64(length);
    if (!exportprogress::lengthKnown(length)) {
        console("\n");
    } else {
        const auto seconds =
            static_cast<std::uint32_t>(BASS_ChannelBytes2Seconds(musicChannel_, length));
        console("time: %u:%02u\n", seconds / 60, seconds % 60);
    }

    ExportTarget target(out);
    bool started = false;
    if (type >= exporttype::kWav && type <= exporttype::kM4a) {
        static const char* const kWords[] = {"WAV", "MP4", "M4A"};
        exportLog().writef("SoundExporter: using %s export", kWords[type]);
        std::string why;
        if (!target.reserve(&why)) {
            // Refused before a single block is rendered: nothing to stop, nothing to remove.
            failure_ = ExportTarget::cannotWrite(why);
            exportLog().writef("SoundExporter: export failed: %s", failure_.c_str());
            return false;
        }
        if (started = startEncoder(type, target.temporaryPath()); !started) {
            failure_ =
                "The encoder could not start (error " + std::to_string(BASS_ErrorGetCode()) + ").";
        }
    } else {
        failure_ = "Unknown export type " + std::to_string(type) + ".";
    }

    // What the music measured when the export began; see the check after the loop.
    const QWORD streamLength = BASS_ChannelGetLength(musicChannel_, BASS_POS_BYTE);
    std::uint64_t rangeLeft = rangeBytes;
    std::uint64_t rendered = 0;
    bool pulledNothing = false;
    bool dataFailed = false;
    for (;;) {
        if (cancelRequested()) {
            cancelled_ = true;
            break;
        }
        if (BASS_ChannelIsActive(musicChannel_) == BASS_ACTIVE_STOPPED)
            break;
        if (rangeBytes > 0 && rangeLeft == 0)
            break;
        const DWORD wanted =
            rangeBytes > 0 ? static_cast<DWORD>(std::min<std::uint64_t>(rangeLeft, kBlockBytes))
                           : kBlockBytes;
        const DWORD got = BASS_ChannelGetData(musicChannel_, block_.data(), wanted);
        pulledNothing = got == kDataError;
        if (pulledNothing) {
            // At its end the stream says so; anything else means the music could not be read,
            // and whatever the file still holds would be missing from the export.
            const int code = BASS_ErrorGetCode();
            if (code != BASS_ERROR_ENDED) {
                dataFailed = true;
                exportLog().writef("SoundExporter: reading the music failed: %i", code);
            }
        } else {
            rendered += got;
        }
        if (rangeBytes > 0)
            rangeLeft -= pulledNothing ? rangeLeft : std::min<std::uint64_t>(got, rangeLeft);
        if (!BASS_Encode_IsActive(musicChannel_)) {
            exportLog().write("Error: The encoder died!\n");
            if (failure_.empty())
                failure_ = "Writing the file failed: " + encoderError() + ".";
            break;
        }
        if (delegate_) {
            const QWORD at = BASS_ChannelGetPosition(musicChannel_, BASS_POS_BYTE);
            delegate_->exportUpdate64(at > rangeFrom ? at - rangeFrom : 0);
        }
        if (pulledNothing)
            break;
    }
    if (started && failure_.empty()) {
        // A file that gives less than it did when measured shortens the stream's length to what
        // it delivered, or (where its timestamps promised more) pads the rest with silence at the
        // same length, which only the file on disk tells. A range counts what it rendered.
        const QWORD lengthNow = BASS_ChannelGetLength(musicChannel_, BASS_POS_BYTE);
        const QWORD slack = BASS_ChannelSeconds2Bytes(musicChannel_, kLengthSlackSeconds);
        const bool shrank = streamLength != kLengthUnknown && lengthNow < streamLength;
        const bool rangeCameShort = rangeBytes > 0 && rendered + slack < rangeBytes;
        if (dataFailed || shrank || rangeCameShort || !musicFileUnchanged()) {
            exportLog().writef(
                "SoundExporter: the music changed during the export: length %llu of %llu bytes",
                static_cast<unsigned long long>(lengthNow),
                static_cast<unsigned long long>(streamLength));
            failure_ = kMusicChanged;
        }
    }
    // Closes the file; the trailer (sizes, index) can still fail on a full disk.
    if (!BASS_Encode_Stop(musicChannel_) && started && failure_.empty() && !cancelled_)
        failure_ = "Finishing the file failed: " + encoderError() + ".";

    // Asked once more before the rename: a cancel during the encoder's last block still keeps
    // the old file.
    if (failure_.empty() && cancelRequested())
        cancelled_ = true;
    if (failure_.empty() && !cancelled_) {
        std::string why;
        if (!target.commit(&why))
            failure_ = "The file could not be saved: " + why + ".";
    }
    if (failure_.empty() && cancelled_) {
        target.discard();
        exportLog().write("SoundExporter: export cancelled");
        return false;
    }
    // A failure that came first is the one to tell, even when a cancel followed it.
    cancelled_ = false;
    if (!failure_.empty()) {
        failure_ = target.withChosenName(failure_);
        target.discard();
        exportLog().writef("SoundExporter: export failed: %s", failure_.c_str());
        return false;
    }
    return true;
}

void SoundExporter::setRange(double start, double end) {
    std::lock_guard lock(lock_);
    const bool valid = std::isfinite(start) && std::isfinite(end) && start >= 0.0 && end > start;
    rangeStart_ = valid ? start : 0.0;
    rangeEnd_ = valid ? end : 0.0;
}

std::uint64_t SoundExporter::startRange() {
    if (!(rangeEnd_ > rangeStart_))
        return 0;
    const QWORD from = BASS_ChannelSeconds2Bytes(musicChannel_, rangeStart_);
    if (!BASS_ChannelSetPosition(musicChannel_, from, BASS_POS_BYTE)) {
        exportLog().writef("SoundExporter: cannot start the range at %f s: %i", rangeStart_,
                           BASS_ErrorGetCode());
        return 0;
    }
    BASS_CHANNELINFO info{};
    BASS_ChannelGetInfo(musicChannel_, &info);
    const std::uint64_t frameBytes = static_cast<std::uint64_t>(std::max<DWORD>(1, info.chans)) *
                                     ((info.flags & BASS_SAMPLE_FLOAT) != 0 ? 4 : 2);
    // The span's source frames at the stream's rate ratio, to the nearest frame: what the stream
    // itself would render of them.
    const double ratio = BASS_FX_TempoGetRateRatio(musicChannel_);
    const double sourceFrames =
        static_cast<double>(BASS_ChannelSeconds2Bytes(musicChannel_, rangeEnd_) - from) /
        static_cast<double>(frameBytes);
    const auto frames =
        static_cast<std::uint64_t>(std::llround(ratio > 0.0 ? sourceFrames / ratio : sourceFrames));
    exportLog().writef("SoundExporter: exporting %f s to %f s of the music, %llu frames",
                       rangeStart_, rangeEnd_, static_cast<unsigned long long>(frames));
    return std::max<std::uint64_t>(1, frames) * frameBytes;
}

std::optional<SoundExporter::FileIdentity> SoundExporter::identityOf(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return std::nullopt;
    FileIdentity identity;
    identity.device = static_cast<std::uint64_t>(info.st_dev);
    identity.inode = static_cast<std::uint64_t>(info.st_ino);
    identity.size = static_cast<std::int64_t>(info.st_size);
    identity.modifiedNs = static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 +
                          static_cast<std::int64_t>(info.st_mtim.tv_nsec);
    return identity;
}

bool SoundExporter::musicFileUnchanged() const {
    // Size and time stamp move with any write, truncation or replacement; gone counts as changed.
    const std::optional<FileIdentity> now = identityOf(musicFile_);
    return musicIdentity_ && now && *now == *musicIdentity_;
}

bool SoundExporter::finish() {
    std::lock_guard lock(lock_);
    if (BASS_GetDevice() == 0) {
        // The no-sound device and every stream made on it.
        BASS_Free();
    } else if (musicChannel_ != 0) {
        // Selecting the no-sound device failed, so the streams were made on the thread's
        // device, which may be the one live playback uses: free ours alone, never the device.
        BASS_StreamFree(musicChannel_);
    }
    musicChannel_ = 0;
    switchThreadToDevice(outputDevice_);
    BASS_SetConfig(BASS_CONFIG_UPDATEPERIOD, 1);
    exportLog().write("SoundExporter: finished exporting");
    return true;
}
