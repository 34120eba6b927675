// What live playback costs: CPU time (getrusage) of the whole process while a tempo stream plays
// at -25 % for about ten seconds on an SDL device, resident memory, and whether the feeder ever
// fell behind. Uses SDL_AUDIODRIVER as set (dummy when unset). Prints figures only.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "BenchSupport.h"
#include "audiolib/audiolib.h"
#include "audiolib/core/HandleTable.h"
#include "audiolib/device/DeviceManager.h"
#include "audiolib/playback/StreamPlayback.h"
#include "audiolib/stream/Stream.h"
#include "support/AudioFixtures.h"
#include "support/TempHome.h"

namespace {

long residentKiB() {
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            long kib = 0;
            status >> kib;
            return kib;
        }
        status.ignore(1 << 12, '\n');
    }
    return -1;
}

}  // namespace

int main() {
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    testsupport::TempDir dir;
    const std::string music = dir.file("music.mp3");
    std::string error;
    if (!testsupport::writeAudioFile(music, testsupport::sine(330.0, 30.0, 44100, 2, 0.4F), 44100,
                                     2, &error)) {
        std::fprintf(stderr, "cannot write the test file: %s\n", error.c_str());
        return 1;
    }
    const long rssBefore = residentKiB();
    if (!BASS_Init(-1, 44100, 0, nullptr, nullptr)) {
        std::fprintf(stderr, "no output device: error %d\n", BASS_ErrorGetCode());
        return 1;
    }
    const HSTREAM source =
        BASS_StreamCreateFile(FALSE, music.c_str(), 0, 0, BASS_STREAM_DECODE | BASS_SAMPLE_FLOAT);
    const HSTREAM tempo = BASS_FX_TempoCreate(source, BASS_FX_FREESOURCE | BASS_SAMPLE_LOOP);
    BASS_ChannelSetAttribute(tempo, BASS_ATTRIB_TEMPO, -25.0F);
    const HFX fx = BASS_ChannelSetFX(tempo, BASS_FX_BFX_VOLUME, 1);
    const BASS_BFX_VOLUME gain{BASS_BFX_CHANALL, 2.0F};
    BASS_FXSetParameters(fx, &gain);
    BASS_ChannelSetAttribute(tempo, BASS_ATTRIB_VOL, 0.75F);
    if (!BASS_ChannelPlay(tempo, FALSE)) {
        std::fprintf(stderr, "cannot play: error %d\n", BASS_ErrorGetCode());
        return 1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));  // start-up
    auto& mixer = audiolib::DeviceManager::instance().current()->mixer();
    const auto framesStart = mixer.framesProcessed();
    const double cpuStart = bench::cpuSeconds();
    const auto wallStart = std::chrono::steady_clock::now();
    const double positionStart =
        BASS_ChannelBytes2Seconds(tempo, BASS_ChannelGetPosition(tempo, BASS_POS_BYTE));
    // The position timer's load: ten queries a second.
    for (int tick = 0; tick < 100; ++tick) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        BASS_ChannelGetPosition(tempo, BASS_POS_BYTE);
        BASS_ChannelIsActive(tempo);
    }
    const double cpu = bench::cpuSeconds() - cpuStart;
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    const double position =
        BASS_ChannelBytes2Seconds(tempo, BASS_ChannelGetPosition(tempo, BASS_POS_BYTE));
    const double deviceSeconds = (mixer.framesProcessed() - framesStart) / 44100.0;
    const long rssPlaying = residentKiB();
    auto stream = audiolib::HandleTable::instance().findAs<audiolib::Stream>(tempo);
    const auto starved = stream && stream->playback() ? stream->playback()->starvedFrames() : 0;

    std::printf("live playback at tempo -25 %% on SDL driver \"%s\" for %.1f s\n",
                std::getenv("SDL_AUDIODRIVER"), wall);
    std::printf("  CPU: %.3f s = %.2f %% of one core (target <= 5 %%)\n", cpu, 100.0 * cpu / wall);
    std::printf(
        "  the device consumed %.2f s of audio; the source advanced %.2f s (%.3f of it, "
        "0.75 expected)\n",
        deviceSeconds, position - positionStart, (position - positionStart) / deviceSeconds);
    std::printf("  frames starved (feeder behind): %llu\n",
                static_cast<unsigned long long>(starved));
    std::printf("  resident memory: %ld KiB before the device, %ld KiB while playing\n", rssBefore,
                rssPlaying);
    BASS_Free();
    return 0;
}
