// Offline rendering speed: three minutes of stereo 44.1 kHz audio through a decoding tempo stream
// at tempo -25 % and pitch +2 (the export's path), with either stretch engine, compared with
// SoundTouch's own command-line tool doing the same job. Prints figures; passes or fails nothing.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "audiolib/audiolib.h"
#include "support/AudioFixtures.h"
#include "support/TempHome.h"

namespace {

constexpr int kRate = 44100;
constexpr double kSeconds = 180.0;

// Renders the file as the export does (16-bit, 20000-byte blocks); with an output path the
// blocks also go into a WAV file. Returns the wall time, or a negative value on failure.
double renderThroughTempoStream(const std::string& in, const std::string& out, DWORD engine) {
    const auto start = std::chrono::steady_clock::now();
    const HSTREAM source =
        BASS_StreamCreateFile(FALSE, in.c_str(), 0, 0, BASS_STREAM_DECODE | BASS_STREAM_PRESCAN);
    const HSTREAM tempo =
        BASS_FX_TempoCreate(source, BASS_STREAM_DECODE | BASS_FX_FREESOURCE | engine);
    if (tempo == 0)
        return -1.0;
    BASS_ChannelSetAttribute(tempo, BASS_ATTRIB_TEMPO, -25.0F);
    BASS_ChannelSetAttribute(tempo, BASS_ATTRIB_TEMPO_PITCH, 2.0F);
    if (!out.empty() && !BASS_Encode_Start(tempo, out.c_str(), BASS_ENCODE_PCM, nullptr, nullptr)) {
        return -1.0;
    }
    std::vector<char> block(20000);
    while (BASS_ChannelIsActive(tempo) != BASS_ACTIVE_STOPPED) {
        BASS_ChannelGetData(tempo, block.data(), static_cast<DWORD>(block.size()));
    }
    if (!out.empty())
        BASS_Encode_Stop(tempo);
    BASS_StreamFree(tempo);
    return bench::secondsSince(start);
}

}  // namespace

int main() {
    testsupport::TempDir dir;
    const std::string in = dir.file("music.wav");
    std::string error;
    std::printf("writing %.0f s of stereo 44.1 kHz test audio...\n", kSeconds);
    if (!testsupport::writeAudioFile(in, bench::musicLikeSignal(kSeconds, kRate), kRate, 2,
                                     &error)) {
        std::fprintf(stderr, "cannot write the test file: %s\n", error.c_str());
        return 1;
    }
    if (!BASS_Init(0, kRate, 0, nullptr, nullptr)) {
        std::fprintf(stderr, "cannot open the no-sound device: %d\n", BASS_ErrorGetCode());
        return 1;
    }
    struct Engine {
        const char* name;
        DWORD flag;
        double pullOnly = 0.0;
        double withWav = 0.0;
    };
    Engine engines[] = {{"Light (SoundTouch)", TONVERA_FX_TEMPO_LIGHT}, {"Best (Rubber Band)", 0}};
    for (Engine& e : engines) {
        e.pullOnly = renderThroughTempoStream(in, "", e.flag);
        e.withWav = renderThroughTempoStream(in, dir.file("ours.wav"), e.flag);
    }
    BASS_Free();

    const std::string command = "soundstretch '" + in + "' '" + dir.file("theirs.wav") +
                                "' -tempo=-25 -pitch=2 > /dev/null 2>&1";
    const auto start = std::chrono::steady_clock::now();
    const int status = std::system(command.c_str());
    const double soundstretch = bench::secondsSince(start);

    std::printf(
        "\nrender of %.0f s at tempo -25 %%, pitch +2 (times real time, higher is faster)\n",
        kSeconds);
    for (const Engine& e : engines) {
        std::printf("  %-19s pulling 16-bit blocks : %6.2f s  %6.1fx\n", e.name, e.pullOnly,
                    kSeconds / e.pullOnly);
        std::printf("  %-19s + WAV encoder         : %6.2f s  %6.1fx\n", e.name, e.withWav,
                    kSeconds / e.withWav);
    }
    if (status == 0) {
        std::printf("  soundstretch (read + process + write): %6.2f s  %6.1fx\n", soundstretch,
                    kSeconds / soundstretch);
        std::printf("  ratio soundstretch time / Light (WAV): %.2f (>= 1 means we are as fast)\n",
                    soundstretch / engines[0].withWav);
    } else {
        std::printf("  soundstretch not available (exit status %d)\n", status);
    }
    return 0;
}
