// Live playback under pressure: a tempo stream at -25 % plays for 60 s (TONVERA_STRESS_SECONDS
// to change it) on an SDL device (dummy unless SDL_AUDIODRIVER says otherwise) while two busy
// processes per core compete at normal priority and tempo, pitch and volume change every 20 ms.
// Prints underruns, silent frames, the feeder's longest gap between passes, the process's CPU,
// and the CPU it uses once paused. Figures only; nothing passes or fails.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "BenchSupport.h"
#include "audiolib/audiolib.h"
#include "audiolib/core/HandleTable.h"
#include "audiolib/device/DeviceManager.h"
#include "audiolib/playback/StreamPlayback.h"
#include "audiolib/stream/Stream.h"
#include "support/AudioFixtures.h"
#include "support/TempHome.h"

namespace {

std::vector<pid_t> startCompetitors(int count) {
    std::vector<pid_t> pids;
    for (int i = 0; i < count; ++i) {
        const pid_t pid = fork();
        if (pid == 0) {
            volatile unsigned long spin = 0;
            for (;;)
                spin = spin + 1;
        }
        if (pid > 0)
            pids.push_back(pid);
    }
    return pids;
}

void stopCompetitors(const std::vector<pid_t>& pids) {
    for (const pid_t pid : pids) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
}

}  // namespace

int main() {
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    const char* secondsText = std::getenv("TONVERA_STRESS_SECONDS");
    const int seconds = secondsText ? std::max(1, std::atoi(secondsText)) : 60;
    testsupport::TempDir dir;
    const std::string music = dir.file("music.wav");
    std::string error;
    if (!testsupport::writeAudioFile(music, testsupport::sine(330.0, 30.0, 44100, 2, 0.4F), 44100,
                                     2, &error)) {
        std::fprintf(stderr, "cannot write the test file: %s\n", error.c_str());
        return 1;
    }
    if (!BASS_Init(-1, 44100, 0, nullptr, nullptr)) {
        std::fprintf(stderr, "no output device: error %d\n", BASS_ErrorGetCode());
        return 1;
    }
    const HSTREAM source =
        BASS_StreamCreateFile(FALSE, music.c_str(), 0, 0, BASS_STREAM_DECODE | BASS_SAMPLE_FLOAT);
    const HSTREAM tempo = BASS_FX_TempoCreate(source, BASS_SAMPLE_LOOP | BASS_FX_FREESOURCE);
    if (tempo == 0) {
        std::fprintf(stderr, "cannot make the stream: error %d\n", BASS_ErrorGetCode());
        return 1;
    }
    BASS_ChannelSetAttribute(tempo, BASS_ATTRIB_TEMPO, -25.0F);
    auto stream = audiolib::HandleTable::instance().findAs<audiolib::Stream>(tempo);
    auto device = audiolib::DeviceManager::instance().current();

    const int cores = static_cast<int>(std::thread::hardware_concurrency());
    const auto competitors = startCompetitors(2 * std::max(cores, 1));
    BASS_ChannelPlay(tempo, FALSE);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    device->feeder().takeLongestGapMicros();
    const double cpuStart = bench::cpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    const std::uint64_t framesStart = device->mixer().framesProcessed();
    for (int step = 0; std::chrono::steady_clock::now() - start < std::chrono::seconds(seconds);
         ++step) {
        BASS_ChannelSetAttribute(tempo, BASS_ATTRIB_TEMPO, -25.0F + static_cast<float>(step % 7));
        BASS_ChannelSetAttribute(tempo, BASS_ATTRIB_TEMPO_PITCH,
                                 static_cast<float>(step % 5) * 0.5F);
        BASS_ChannelSetAttribute(tempo, BASS_ATTRIB_VOL, 0.6F + 0.05F * (step % 4));
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double cpu = bench::cpuSeconds() - cpuStart;
    const std::uint64_t frames = device->mixer().framesProcessed() - framesStart;
    const std::int64_t longestGap = device->feeder().takeLongestGapMicros();
    stopCompetitors(competitors);

    const audiolib::StreamPlayback* playback = stream->playback();
    std::printf(
        "playback_stress: %d s at tempo -25 %% with %zu busy processes on %d cores, "
        "controls changed every 20 ms\n",
        seconds, competitors.size(), cores);
    std::printf("  device played            %.2f s of audio in %.2f s\n", frames / 44100.0, wall);
    std::printf("  underruns                %llu (%llu frames of silence)\n",
                static_cast<unsigned long long>(playback->underruns()),
                static_cast<unsigned long long>(playback->starvedFrames()));
    std::printf("  feeder's longest gap     %.2f ms (the ring holds %.1f ms)\n",
                longestGap / 1000.0, playback->aheadFrames() * 1000.0 / 44100.0);
    std::printf("  CPU while playing        %.2f %% of one core\n", 100.0 * cpu / wall);

    BASS_ChannelPause(tempo);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));  // the fade and the rest
    const double idleStart = bench::cpuSeconds();
    std::this_thread::sleep_for(std::chrono::seconds(5));
    const double idle = bench::cpuSeconds() - idleStart;
    std::printf("  CPU after pause          %.3f %% of one core (%.1f ms in 5 s)\n",
                100.0 * idle / 5.0, idle * 1000.0);
    BASS_Free();
    return 0;
}
