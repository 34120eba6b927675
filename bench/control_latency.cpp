// How soon a change of pitch, rate, volume or a hearing tool is heard: the time from
// BASS_ChannelSetAttribute to the first output frame that carries it, on the real playback path
// (feeder thread, SDL callback). SDL's "disk" driver runs the device at real-time pace and writes
// every frame it is handed to a file, so the output can be examined afterwards. Prints figures
// only; `--light` measures the light stretch engine instead of the default one.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "audiolib/audiolib.h"
#include "audiolib/device/DeviceManager.h"
#include "support/AudioFixtures.h"
#include "support/TempHome.h"

namespace {

constexpr int kRate = 44100;

// Not library attributes: the hearing tools, set through TONVERA_ChannelSetHearing.
constexpr DWORD kFocusHighs = 0x7f000001;
constexpr DWORD kCentreCancel = 0x7f000002;

struct Change {
    DWORD attribute;
    float value;
    std::uint64_t deviceFrame;  // frames handed to the device when the call was made
    bool up;                    // the sound gets higher (or louder)
};

std::uint64_t deviceFrames() {
    return audiolib::DeviceManager::instance().current()->mixer().framesProcessed();
}

bool waitFrames(std::uint64_t frames) {
    const std::uint64_t target = deviceFrames() + frames;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (deviceFrames() < target) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Frames of upward zero crossings of the left channel.
std::vector<std::size_t> upwardCrossings(const std::vector<float>& stereo) {
    std::vector<std::size_t> crossings;
    for (std::size_t i = 1; i < stereo.size() / 2; ++i) {
        if (stereo[2 * (i - 1)] < 0.0F && stereo[2 * i] >= 0.0F)
            crossings.push_back(i);
    }
    return crossings;
}

// First frame after `from` where the period has settled on the other side of the midpoint
// between 440 Hz (100.2 frames) and 880 Hz (50.1 frames) for three periods in a row.
double frequencyChangeFrame(const std::vector<std::size_t>& crossings, std::size_t from, bool up) {
    for (std::size_t i = 1; i + 3 < crossings.size(); ++i) {
        if (crossings[i] <= from)
            continue;
        bool settled = true;
        for (std::size_t k = i; k < i + 3; ++k) {
            const std::size_t period = crossings[k] - crossings[k - 1];
            settled = settled && (up ? period < 75 : period > 75);
        }
        if (settled)
            return static_cast<double>(crossings[i - 1]);
    }
    return -1.0;
}

// First frame after `from` where the peak over a 64-frame window moves past `midpoint`, between
// the levels before and after.
double levelChangeFrame(const std::vector<float>& stereo, std::size_t from, bool up,
                        float midpoint) {
    for (std::size_t i = from; i + 64 < stereo.size() / 2; i += 8) {
        float peak = 0.0F;
        for (std::size_t k = i; k < i + 64; ++k)
            peak = std::max(peak, std::fabs(stereo[2 * k]));
        if (up ? peak > midpoint : peak < midpoint)
            return static_cast<double>(i);
    }
    return -1.0;
}

// The peak of the left channel over `count` frames from `from`.
float peakOf(const std::vector<float>& stereo, std::size_t from, std::size_t count) {
    float peak = 0.0F;
    for (std::size_t k = from; k < from + count && 2 * k < stereo.size(); ++k)
        peak = std::max(peak, std::fabs(stereo[2 * k]));
    return peak;
}

// The hearing tools: the 440 Hz tone, the same in both channels, is turned down 18 dB by the
// highs focus and taken out by the centre cancel; "up" turns the tool off again.
void setHearing(HSTREAM stream, DWORD tool, bool up) {
    TONVERA_HEARING hearing{};
    if (!up) {
        if (tool == kFocusHighs)
            hearing.focus = 3;
        else
            hearing.centreCancel = TRUE;
    }
    hearing.focusCentre = 1000.0F;
    hearing.focusWidth = 1.0F;
    hearing.focusGain = 12.0F;
    TONVERA_ChannelSetHearing(stream, &hearing);
}

void report(const char* name, std::vector<double> ms, int bufferFrames) {
    if (ms.empty()) {
        std::printf("  %-22s no change detected\n", name);
        return;
    }
    std::sort(ms.begin(), ms.end());
    const double buffer = 1000.0 * bufferFrames / kRate;
    std::printf("  %-22s min %6.1f  median %6.1f  max %6.1f ms  (+ %.1f ms device buffer)\n", name,
                ms.front(), ms[ms.size() / 2], ms.back(), buffer);
}

}  // namespace

int main(int argc, char** argv) {
    const DWORD engine =
        argc > 1 && std::strcmp(argv[1], "--light") == 0 ? TONVERA_FX_TEMPO_LIGHT : 0;
    testsupport::TempDir dir;
    const std::string raw = dir.file("heard.raw");
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", raw.c_str(), 1);
    const std::string music = dir.file("sine.wav");
    if (!testsupport::writeWav(music, testsupport::sine(440.0, 60.0, kRate, 2, 0.5F), kRate, 2,
                               testsupport::WavSampleFormat::Float32)) {
        std::fprintf(stderr, "cannot write the test file\n");
        return 1;
    }
    if (!BASS_Init(-1, kRate, 0, nullptr, nullptr)) {
        std::fprintf(stderr, "SDL's disk driver is not available: error %d\n", BASS_ErrorGetCode());
        return 1;
    }
    BASS_INFO info{};
    BASS_GetInfo(&info);
    const int bufferFrames = static_cast<int>(info.minbuf * kRate / 1000);
    const HSTREAM source =
        BASS_StreamCreateFile(FALSE, music.c_str(), 0, 0, BASS_STREAM_DECODE | BASS_SAMPLE_FLOAT);
    const HSTREAM tempo =
        BASS_FX_TempoCreate(source, BASS_FX_FREESOURCE | BASS_SAMPLE_LOOP | engine);
    BASS_ChannelPlay(tempo, FALSE);
    waitFrames(kRate);

    std::mt19937 random(3);
    std::uniform_int_distribution<int> pause(kRate / 5, kRate / 3);
    std::vector<Change> changes;
    const struct {
        DWORD attribute;
        float high;
        float low;
    } kinds[] = {{BASS_ATTRIB_TEMPO_PITCH, 12.0F, 0.0F},
                 {BASS_ATTRIB_FREQ, 2.0F * kRate, static_cast<float>(kRate)},
                 {BASS_ATTRIB_VOL, 1.0F, 0.5F}};
    for (const auto& kind : kinds) {
        BASS_ChannelSetAttribute(tempo, kind.attribute, kind.low);
        waitFrames(kRate / 2);
        for (int trial = 0; trial < 12; ++trial) {
            waitFrames(static_cast<std::uint64_t>(pause(random)));
            const bool up = trial % 2 == 0;
            const std::uint64_t frame = deviceFrames();
            BASS_ChannelSetAttribute(tempo, kind.attribute, up ? kind.high : kind.low);
            changes.push_back({kind.attribute, up ? kind.high : kind.low, frame, up});
        }
        waitFrames(kRate / 2);
        BASS_ChannelSetAttribute(tempo, kind.attribute, kind.low);
    }
    for (const DWORD tool : {kFocusHighs, kCentreCancel}) {
        for (int trial = 0; trial < 12; ++trial) {
            waitFrames(static_cast<std::uint64_t>(pause(random)));
            const bool up = trial % 2 != 0;
            const std::uint64_t frame = deviceFrames();
            setHearing(tempo, tool, up);
            changes.push_back({tool, 0.0F, frame, up});
        }
        waitFrames(kRate / 2);
    }
    BASS_Free();

    std::vector<float> stereo;
    {
        std::ifstream file(raw, std::ios::binary | std::ios::ate);
        const auto bytes = static_cast<std::size_t>(file.tellg());
        stereo.assign(bytes / sizeof(float), 0.0F);
        file.seekg(0);
        file.read(reinterpret_cast<char*>(stereo.data()), static_cast<std::streamsize>(bytes));
    }
    const auto crossings = upwardCrossings(stereo);
    std::vector<double> pitch, rate, volume, focus, cancel;
    for (const Change& change : changes) {
        double frame = 0.0;
        switch (change.attribute) {
            case BASS_ATTRIB_VOL:
                frame = levelChangeFrame(stereo, change.deviceFrame, change.up, 0.375F);
                break;
            case kFocusHighs:
            case kCentreCancel: {
                // Between the levels a little before and well after (the next change comes
                // 200 ms later at the soonest), on a log scale: these tools change it 18 dB
                // or more.
                const float before = peakOf(stereo, change.deviceFrame - 2048, 2048);
                const float after = peakOf(stereo, change.deviceFrame + 6000, 2048);
                frame = levelChangeFrame(stereo, change.deviceFrame, change.up,
                                         std::sqrt(std::max(before * after, 1e-12F)));
                break;
            }
            default:
                frame = frequencyChangeFrame(crossings, change.deviceFrame, change.up);
        }
        if (frame < 0)
            continue;
        const double ms = 1000.0 * (frame - static_cast<double>(change.deviceFrame)) / kRate;
        switch (change.attribute) {
            case BASS_ATTRIB_VOL:
                volume.push_back(ms);
                break;
            case BASS_ATTRIB_FREQ:
                rate.push_back(ms);
                break;
            case kFocusHighs:
                focus.push_back(ms);
                break;
            case kCentreCancel:
                cancel.push_back(ms);
                break;
            default:
                pitch.push_back(ms);
        }
    }
    std::printf("time from BASS_ChannelSetAttribute to the first output frame that carries it\n");
    std::printf("(%zu s of output, SDL buffer %d frames; target <= 100 ms)\n",
                stereo.size() / 2 / kRate, bufferFrames);
    report("pitch 0 <-> +12", pitch, bufferFrames);
    report("rate 44100 <-> 88200", rate, bufferFrames);
    report("volume 0.5 <-> 1.0", volume, bufferFrames);
    report("focus off <-> highs", focus, bufferFrames);
    report("centre cancel on/off", cancel, bufferFrames);
    return 0;
}
