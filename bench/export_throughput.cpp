// Export speed: a 3-minute stereo MP3 exported at tempo -25 % and pitch +2 into each of the three
// types with each stretch engine, through the program's own SoundExporter; beside it the same job
// by the command-line tools piped together (ffmpeg decode | soundstretch | ffmpeg encode), and
// the encoders alone (ffmpeg WAV -> AAC, WAV -> ALAC) as the ceiling. Then where the time goes:
// decoding alone, decoding plus stretching (with the 16-bit quantising of the pulled blocks),
// and the rest, which is encoding. Prints figures; passes or fails nothing.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "audiolib/audiolib.h"
#include "engine/export/ExportType.h"
#include "engine/export/SoundExporter.h"
#include "logging/Console.h"
#include "support/AudioFixtures.h"
#include "support/TempHome.h"

namespace {

constexpr int kRate = 44100;
constexpr double kSeconds = 180.0;
constexpr float kTempo = -25.0F;
constexpr float kPitch = 2.0F;

struct Timing {
    double wall = -1.0;
    double cpu = 0.0;
};

Timing exportOnce(const std::string& in, const std::string& out, std::int32_t type,
                  std::uint32_t engine) {
    SoundExporter exporter;
    ExportSettings settings;
    settings.musicFile = in;
    settings.tempo = kTempo;
    settings.pitch = kPitch;
    settings.engineFlags = engine;
    const double cpuStart = bench::cpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    bool ok = exporter.prepare(settings);
    if (ok)
        ok = exporter.exportTo(type, out);
    exporter.finish();
    Timing t;
    if (ok) {
        t.wall = bench::secondsSince(start);
        t.cpu = bench::cpuSeconds() - cpuStart;
    }
    return t;
}

// Pulls a decoding channel to its end in 20000-byte blocks, as the export does.
Timing pull(DWORD channel) {
    const double cpuStart = bench::cpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    std::vector<char> block(20000);
    while (BASS_ChannelIsActive(channel) != BASS_ACTIVE_STOPPED)
        BASS_ChannelGetData(channel, block.data(), 20000);
    return {bench::secondsSince(start), bench::cpuSeconds() - cpuStart};
}

Timing decodeOnly(const std::string& in) {
    const HSTREAM source =
        BASS_StreamCreateFile(FALSE, in.c_str(), 0, 0, BASS_STREAM_DECODE | BASS_STREAM_PRESCAN);
    const Timing t = pull(source);
    BASS_StreamFree(source);
    return t;
}

Timing decodeAndStretch(const std::string& in, std::uint32_t engine) {
    const HSTREAM source =
        BASS_StreamCreateFile(FALSE, in.c_str(), 0, 0, BASS_STREAM_DECODE | BASS_STREAM_PRESCAN);
    const HSTREAM tempo =
        BASS_FX_TempoCreate(source, BASS_STREAM_DECODE | BASS_FX_FREESOURCE | engine);
    BASS_ChannelSetAttribute(tempo, BASS_ATTRIB_TEMPO, kTempo);
    BASS_ChannelSetAttribute(tempo, BASS_ATTRIB_TEMPO_PITCH, kPitch);
    const Timing t = pull(tempo);
    BASS_StreamFree(tempo);
    return t;
}

Timing shell(const std::string& command) {
    const double cpuStart = bench::cpuSeconds(RUSAGE_CHILDREN);
    const auto start = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0)
        return {};
    return {bench::secondsSince(start), bench::cpuSeconds(RUSAGE_CHILDREN) - cpuStart};
}

void row(const char* what, const Timing& t, double reference) {
    if (t.wall < 0) {
        std::printf("| %-34s | failed | | | |\n", what);
        return;
    }
    std::printf(
        "| %-34s | %6.2f | %6.1f | %5.2f | %s |\n", what, t.wall, kSeconds / t.wall, t.cpu / t.wall,
        reference > 0 ? (std::to_string(reference / t.wall).substr(0, 4) + "x").c_str() : "");
}

}  // namespace

int main() {
    // The exporter's own log lines would drown the table.
    setConsoleToStderr(false);
    testsupport::TempDir dir;
    const std::string in = dir.file("music.mp3");
    std::string error;
    const auto signal = bench::musicLikeSignal(kSeconds, kRate);
    if (!testsupport::writeAudioFile(in, signal, kRate, 2, &error)) {
        std::fprintf(stderr, "cannot write the input: %s\n", error.c_str());
        return 1;
    }
    const std::string q = " >/dev/null 2>&1";
    const std::string stretch = "soundstretch stdin stdout -tempo=" + std::to_string(kTempo) +
                                " -pitch=" + std::to_string(kPitch);
    const std::string decode = "ffmpeg -v error -i '" + in + "' -f wav - 2>/dev/null | ";
    const char* const kTypes[] = {"WAV", "MP4 (AAC)", "M4A (ALAC)"};
    const char* const kExt[] = {"wav", "mp4", "m4a"};
    const char* const kEncoder[] = {"-c:a pcm_s16le", "-c:a aac", "-c:a alac"};

    // The piped tools, and the encoders alone on the stretched result.
    Timing piped[3];
    for (int type = 0; type < 3; ++type) {
        piped[type] =
            shell(decode + stretch + " 2>/dev/null | ffmpeg -v error -y -f wav -i - " +
                  kEncoder[type] + " '" + dir.file(std::string("piped.") + kExt[type]) + "'" + q);
    }
    const std::string stretched = dir.file("piped.wav");
    const Timing aacAlone = shell("ffmpeg -v error -y -i '" + stretched + "' -c:a aac '" +
                                  dir.file("alone.mp4") + "'" + q);
    const Timing alacAlone = shell("ffmpeg -v error -y -i '" + stretched + "' -c:a alac '" +
                                   dir.file("alone.m4a") + "'" + q);

    std::printf(
        "Export of %.0f s of stereo MP3 at tempo %+.0f %%, pitch %+.0f (wall s, times real "
        "time, CPU cores busy, speed against the piped tools)\n\n",
        kSeconds, kTempo, kPitch);
    std::printf("| job | wall s | x real time | cores | vs piped |\n|---|---:|---:|---:|---:|\n");
    for (int type = 0; type < 3; ++type) {
        const std::string name = std::string("piped tools, ") + kTypes[type];
        row(name.c_str(), piped[type], 0);
    }
    row("ffmpeg alone, WAV -> AAC", aacAlone, 0);
    row("ffmpeg alone, WAV -> ALAC", alacAlone, 0);
    for (const auto& [engineName, engine] :
         {std::pair<const char*, std::uint32_t>{"Light", TONVERA_FX_TEMPO_LIGHT}, {"Best", 0U}}) {
        for (int type = 0; type < 3; ++type) {
            const std::string out = dir.file(std::string("ours.") + kExt[type]);
            const Timing t = exportOnce(in, out, type, engine);
            const std::string name = std::string("Tonvera ") + engineName + ", " + kTypes[type];
            row(name.c_str(), t, piped[type].wall);
            if (type == exporttype::kMp4 && t.wall > 0 && aacAlone.wall > 0)
                std::printf("|   AAC export against the AAC encoder alone | | | | %.0f %% |\n",
                            100.0 * aacAlone.wall / t.wall);
        }
    }

    std::printf("\nWhere the time goes (one thread, wall s for the whole file)\n\n");
    std::printf("| part | Light | Best |\n|---|---:|---:|\n");
    BASS_Init(0, kRate, 0, nullptr, nullptr);
    const Timing decoded = decodeOnly(in);
    const Timing light = decodeAndStretch(in, TONVERA_FX_TEMPO_LIGHT);
    const Timing best = decodeAndStretch(in, 0);
    BASS_Free();
    std::printf("| decode MP3 | %.2f | %.2f |\n", decoded.wall, decoded.wall);
    std::printf("| stretch, limiter, 16-bit quantise | %.2f | %.2f |\n", light.wall - decoded.wall,
                best.wall - decoded.wall);
    std::printf("| encode AAC (ffmpeg alone) | %.2f | %.2f |\n", aacAlone.wall, aacAlone.wall);
    std::printf("| encode ALAC (ffmpeg alone) | %.2f | %.2f |\n", alacAlone.wall, alacAlone.wall);
    return 0;
}
