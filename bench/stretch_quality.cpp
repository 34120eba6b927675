// How clean the stretch engines sound, measured the same way for our two engines (Best = Rubber
// Band R3 in real-time mode, Light = SoundTouch as tuned) and, beside them, the command-line
// tools soundstretch, sox and rubberband on the same 16-bit inputs:
// - pitch error (cents) and energy outside +-10 Hz of the expected tone (dB, lower is cleaner)
//   for a 440 Hz sine at -6 dBFS, at tempo -25 %, pitch +2 semitones and both;
// - duration error against source length / tempo ratio (ms), at "both";
// - click spread: how unevenly a click every 0.5 s comes out at "both" (max - min of the onset
//   offsets, ms);
// - alias: level of band-limited noise at 19.8-21.5 kHz after +2 semitones (dB re. input);
// - CPU seconds per minute of audio at "both";
// and for our engines the heard-position error across tempo changes and live-playback CPU.
// Prints figures; passes or fails nothing. `stretch_quality --tune` instead sweeps SoundTouch's
// settings (the measurements behind the light engine's tuning); `stretch_quality --compare FILE...`
// renders recordings at tempo -50 % with both engines and compares hits and spectra;
// `--position` prints only the position check.
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <numbers>
#include <random>
#include <string>
#include <thread>
#include <vector>

extern "C" {
#include <libavutil/tx.h>
}

#include "BenchSupport.h"
#include "audiolib/audiolib.h"
#include "audiolib/stretch/SoundTouchEngine.h"
#include "measures/SignalMeasures.h"
#include "measures/TestSignals.h"
#include "support/AudioFixtures.h"
#include "support/TempHome.h"

namespace {

using namespace measures;

constexpr int kRate = 44100;
constexpr double kTempo = 0.75;  // -25 %
constexpr double kPitch = 2.0;   // semitones
const double kPitchFactor = std::exp2(kPitch / 12.0);

struct Setting {
    const char* name;
    double tempo;      // factor
    double semitones;  // pitch change
};
const Setting kSettings[] = {
    {"tempo", kTempo, 0.0}, {"pitch", 1.0, kPitch}, {"both", kTempo, kPitch}};

// ---- the processors -----------------------------------------------------------------------------

// One way of stretching a file into float frames (channel 0 returned, and the frame count).
struct Processor {
    std::string name;
    // Writes the result of `setting` on `in` to memory; false when the tool is missing or fails.
    std::function<bool(const std::string& in, const Setting&, const std::string& scratch,
                       std::vector<float>* mono)>
        run;
    bool external = false;
};

bool renderOurs(DWORD engineFlag, const std::string& in, const Setting& setting,
                std::vector<float>* mono) {
    const HSTREAM source =
        BASS_StreamCreateFile(FALSE, in.c_str(), 0, 0, BASS_STREAM_DECODE | BASS_SAMPLE_FLOAT);
    const HSTREAM tempo =
        BASS_FX_TempoCreate(source, BASS_STREAM_DECODE | BASS_FX_FREESOURCE | engineFlag);
    if (tempo == 0)
        return false;
    BASS_ChannelSetAttribute(tempo, BASS_ATTRIB_TEMPO,
                             static_cast<float>((setting.tempo - 1) * 100));
    BASS_ChannelSetAttribute(tempo, BASS_ATTRIB_TEMPO_PITCH, static_cast<float>(setting.semitones));
    BASS_CHANNELINFO info{};
    BASS_ChannelGetInfo(tempo, &info);
    const int channels = static_cast<int>(info.chans);
    std::vector<float> block(4096 * channels);
    mono->clear();
    for (;;) {
        const DWORD got =
            BASS_ChannelGetData(tempo, block.data(),
                                static_cast<DWORD>(block.size() * sizeof(float)) | BASS_DATA_FLOAT);
        if (got == static_cast<DWORD>(-1) || got == 0)
            break;
        const std::size_t frames = got / sizeof(float) / channels;
        for (std::size_t i = 0; i < frames; ++i)
            mono->push_back(block[i * channels]);
    }
    BASS_StreamFree(tempo);
    return true;
}

// The player's gain (2.0) on a decoding tempo stream at neutral settings: how many samples the
// doubling would have put beyond full scale, and how many the stream still delivers there.
void doubledGainFigures(DWORD engineFlag, const std::string& in, const std::vector<float>& plain) {
    const HSTREAM source =
        BASS_StreamCreateFile(FALSE, in.c_str(), 0, 0, BASS_STREAM_DECODE | BASS_SAMPLE_FLOAT);
    const HSTREAM tempo =
        BASS_FX_TempoCreate(source, BASS_STREAM_DECODE | BASS_FX_FREESOURCE | engineFlag);
    const BASS_BFX_VOLUME gain{BASS_BFX_CHANALL, 2.0F};
    BASS_FXSetParameters(BASS_ChannelSetFX(tempo, BASS_FX_BFX_VOLUME, 1), &gain);
    BASS_CHANNELINFO info{};
    BASS_ChannelGetInfo(tempo, &info);
    std::vector<float> block(4096 * info.chans);
    std::size_t total = 0;
    std::size_t beyond = 0;
    for (;;) {
        const DWORD got =
            BASS_ChannelGetData(tempo, block.data(),
                                static_cast<DWORD>(block.size() * sizeof(float)) | BASS_DATA_FLOAT);
        if (got == static_cast<DWORD>(-1) || got == 0)
            break;
        for (std::size_t i = 0; i < got / sizeof(float); ++i)
            beyond += std::fabs(block[i]) > 1.0F ? 1 : 0;
        total += got / sizeof(float);
    }
    BASS_StreamFree(tempo);
    std::size_t wouldClip = 0;
    for (float v : plain)
        wouldClip += std::fabs(2.0F * v) > 1.0F ? 1 : 0;
    std::printf(
        "  gain 2 at neutral settings, %s: %.3f %% of the doubled samples beyond full scale, "
        "%zu of %zu delivered beyond it\n",
        engineFlag == 0 ? "Best" : "Light",
        100.0 * static_cast<double>(wouldClip) / static_cast<double>(plain.size()), beyond, total);
}

bool runTool(const std::string& command, const std::string& out, std::vector<float>* mono) {
    const int status = std::system((command + " >/dev/null 2>&1").c_str());
    if (status != 0)
        return false;
    std::vector<float> frames;
    int channels = 0;
    if (!testsupport::decodeFile(out, &frames, nullptr, &channels) || channels <= 0)
        return false;
    *mono = testsupport::channelOf(frames, channels, 0);
    return true;
}

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

std::vector<Processor> processors() {
    std::vector<Processor> list;
    list.push_back({"Tonvera Best (Rubber Band R3, real-time)",
                    [](const std::string& in, const Setting& s, const std::string&,
                       std::vector<float>* mono) { return renderOurs(0, in, s, mono); }});
    list.push_back(
        {"Tonvera Light (SoundTouch, tuned)",
         [](const std::string& in, const Setting& s, const std::string&, std::vector<float>* mono) {
             return renderOurs(TONVERA_FX_TEMPO_LIGHT, in, s, mono);
         }});
    list.push_back({"soundstretch (SoundTouch defaults)",
                    [](const std::string& in, const Setting& s, const std::string& out,
                       std::vector<float>* mono) {
                        return runTool("soundstretch '" + in + "' '" + out +
                                           "' -tempo=" + number((s.tempo - 1) * 100) +
                                           " -pitch=" + number(s.semitones),
                                       out, mono);
                    },
                    true});
    list.push_back({"sox tempo / pitch",
                    [](const std::string& in, const Setting& s, const std::string& out,
                       std::vector<float>* mono) {
                        std::string effects;
                        if (s.semitones != 0.0)
                            effects += " pitch " + number(s.semitones * 100);
                        if (s.tempo != 1.0)
                            effects += " tempo " + number(s.tempo);
                        return runTool("sox '" + in + "' '" + out + "'" + effects, out, mono);
                    },
                    true});
    list.push_back({"rubberband --fine (offline R3)",
                    [](const std::string& in, const Setting& s, const std::string& out,
                       std::vector<float>* mono) {
                        return runTool("rubberband --fine -q -T " + number(s.tempo) + " -p " +
                                           number(s.semitones) + " '" + in + "' '" + out + "'",
                                       out, mono);
                    },
                    true});
    return list;
}

// ---- live playback ----------------------------------------------------------------------------

// Process CPU while a tempo stream plays at tempo -25 %, pitch +2 on the SDL device (the dummy
// driver when SDL_AUDIODRIVER is unset), as a percentage of one core. Negative on failure.
double livePlaybackCpu(DWORD engineFlag, const std::string& music, double seconds) {
    const HSTREAM source =
        BASS_StreamCreateFile(FALSE, music.c_str(), 0, 0, BASS_STREAM_DECODE | BASS_SAMPLE_FLOAT);
    const HSTREAM tempo =
        BASS_FX_TempoCreate(source, BASS_FX_FREESOURCE | BASS_SAMPLE_LOOP | engineFlag);
    if (tempo == 0)
        return -1.0;
    BASS_ChannelSetAttribute(tempo, BASS_ATTRIB_TEMPO, -25.0F);
    BASS_ChannelSetAttribute(tempo, BASS_ATTRIB_TEMPO_PITCH, 2.0F);
    if (!BASS_ChannelPlay(tempo, FALSE))
        return -1.0;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const double cpuStart = bench::cpuSeconds(RUSAGE_SELF);
    const auto wallStart = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const double cpu = bench::cpuSeconds(RUSAGE_SELF) - cpuStart;
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    BASS_StreamFree(tempo);
    return 100.0 * cpu / wall;
}

// ---- heard position across tempo changes --------------------------------------------------------

// Renders the click file through a decoding tempo stream in small blocks, as the feeder does,
// moving the tempo every 2 s of output (-25 %, +30 %, -50 %, 0 %). For every click heard, the
// position the stream reported for that output frame is compared with the click's own source
// time (reported minus true: positive when the position runs ahead of what is heard).
struct PositionFigures {
    double medianMs = NAN;
    double worstMs = 0.0;
};
PositionFigures positionError(DWORD engineFlag, const std::string& in, double interval) {
    const HSTREAM source =
        BASS_StreamCreateFile(FALSE, in.c_str(), 0, 0, BASS_STREAM_DECODE | BASS_SAMPLE_FLOAT);
    const HSTREAM tempo =
        BASS_FX_TempoCreate(source, BASS_STREAM_DECODE | BASS_FX_FREESOURCE | engineFlag);
    if (tempo == 0)
        return {};
    const float tempos[] = {-25.0F, 30.0F, -50.0F, 0.0F};
    std::vector<float> mono;
    std::vector<double> reported;  // source frame reported at each output frame
    std::vector<float> block(256 * 2);
    std::size_t changes = 0;
    for (;;) {
        const std::size_t at = mono.size();
        if (changes < 4 && at >= static_cast<std::size_t>(changes) * 2 * kRate) {
            BASS_ChannelSetAttribute(tempo, BASS_ATTRIB_TEMPO, tempos[changes]);
            ++changes;
        }
        const double before = static_cast<double>(BASS_ChannelGetPosition(tempo, BASS_POS_BYTE)) /
                              (2 * sizeof(float));
        const DWORD got =
            BASS_ChannelGetData(tempo, block.data(),
                                static_cast<DWORD>(block.size() * sizeof(float)) | BASS_DATA_FLOAT);
        if (got == static_cast<DWORD>(-1) || got == 0)
            break;
        const std::size_t frames = got / sizeof(float) / 2;
        const double after = static_cast<double>(BASS_ChannelGetPosition(tempo, BASS_POS_BYTE)) /
                             (2 * sizeof(float));
        for (std::size_t i = 0; i < frames; ++i) {
            mono.push_back(block[2 * i]);
            reported.push_back(before + (after - before) * static_cast<double>(i) / frames);
        }
    }
    BASS_StreamFree(tempo);
    // Walk the output: each onset (30 % of the click's level after at least 0.1 s of quiet
    // below 5 %) is one click; the nearest multiple of the interval is its source time.
    std::vector<double> errors;
    std::size_t quiet = 0;
    const double step = interval * kRate;
    for (std::size_t i = 0; i < mono.size(); ++i) {
        const float v = std::fabs(mono[i]);
        if (v < 0.1F) {
            ++quiet;
            continue;
        }
        if (v >= 0.3F && quiet > static_cast<std::size_t>(0.08 * kRate)) {
            const double source = std::round(reported[i] / step) * step;
            errors.push_back((reported[i] - source) * 1000.0 / kRate);
            if (std::getenv("TONVERA_DEBUG_POSITION"))
                std::printf("onset at %zu reported %.1f source %.1f\n", i, reported[i], source);
        }
        quiet = 0;
    }
    PositionFigures figures;
    if (errors.empty())
        return figures;
    for (double e : errors)
        figures.worstMs = std::max(figures.worstMs, std::fabs(e));
    std::sort(errors.begin(), errors.end());
    figures.medianMs = errors[errors.size() / 2];
    return figures;
}

// ---- SoundTouch tuning sweep ------------------------------------------------------------------

std::vector<float> renderSoundTouch(const audiolib::SoundTouchEngine::Tuning& tuning,
                                    const std::vector<float>& in, const Setting& setting,
                                    int channels = 1) {
    audiolib::SoundTouchEngine engine(kRate, channels, tuning, tuning);
    engine.setSettings({setting.tempo, std::exp2(setting.semitones / 12.0), 1.0});
    const auto width = static_cast<std::size_t>(channels);
    std::vector<float> out;
    std::vector<float> chunk(4096 * width);
    auto drain = [&] {
        while (engine.available() > 0) {
            const std::size_t got = engine.take(chunk.data(), 4096);
            out.insert(out.end(), chunk.begin(),
                       chunk.begin() + static_cast<std::ptrdiff_t>(got * width));
        }
    };
    const std::size_t frames = in.size() / width;
    for (std::size_t i = 0; i < frames; i += 1024) {
        engine.put(in.data() + i * width, std::min<std::size_t>(1024, frames - i));
        drain();
    }
    return out;
}

// "SEQ/SEEK/OVERLAP/TAPS[/q]" as on the --tune command line.
bool parseTuning(const char* text, audiolib::SoundTouchEngine::Tuning* tuning) {
    char quick = 0;
    const int n = std::sscanf(text, "%d/%d/%d/%d/%c", &tuning->sequenceMs, &tuning->seekWindowMs,
                              &tuning->overlapMs, &tuning->antiAliasLength, &quick);
    tuning->quickSeek = quick == 'q';
    return n >= 4;
}

void tuneSoundTouch(int argc, char** argv) {
    // A single sine flatters whichever sequence length happens to fit its period, so every
    // setting is scored on six tones (mean out-of-band energy) besides the 440 Hz one.
    const double tones[] = {220.0, 330.0, 440.0, 550.0, 660.0, 880.0};
    std::vector<std::vector<float>> signals;
    for (double hz : tones)
        signals.push_back(
            testsupport::channelOf(testsupport::sine(hz, 10.0, kRate, 1, 0.5F), 1, 0));
    const auto clicks = testsupport::clicks(0.5, 10.0, kRate, 1);
    std::printf(
        "\nSoundTouch sweep (sequence / seek window / overlap ms, anti-alias taps, quick "
        "seek; 0 = automatic), out-of-band dB as mean over %zu tones, then 440 Hz alone:\n",
        signals.size());
    std::printf("%-18s %7s %7s %7s | %7s %7s %7s | %7s | %7s | %7s\n", "setting", "tempo", "pitch",
                "both", "440 t", "440 p", "440 b", "cents", "clicks", "CPU");
    std::vector<audiolib::SoundTouchEngine::Tuning> tunings = {
        {0, 0, 8, 64, true},      {0, 0, 8, 64, false},     {0, 0, 16, 64, false},
        {0, 0, 24, 64, false},    {40, 15, 8, 64, false},   {50, 15, 16, 64, false},
        {50, 15, 12, 64, false},  {60, 20, 16, 64, false},  {70, 20, 20, 64, false},
        {82, 28, 20, 64, false},  {82, 28, 20, 64, true},   {82, 20, 20, 64, true},
        {100, 30, 12, 64, false}, {100, 30, 20, 64, false}, {120, 30, 24, 64, false},
    };
    if (argc > 2) {
        tunings.clear();
        for (int i = 2; i < argc; ++i) {
            audiolib::SoundTouchEngine::Tuning t{};
            if (parseTuning(argv[i], &t))
                tunings.push_back(t);
        }
    }
    const auto music = bench::musicLikeSignal(20.0, kRate);
    for (const auto& t : tunings) {
        char name[64];
        std::snprintf(name, sizeof name, "%d/%d/%d aa%d%s", t.sequenceMs, t.seekWindowMs,
                      t.overlapMs, t.antiAliasLength, t.quickSeek ? " q" : "");
        double mean[3] = {0, 0, 0};
        double at440[3] = {0, 0, 0};
        double cents = 0.0;  // the largest error at 440 Hz
        for (int s = 0; s < 3; ++s) {
            for (std::size_t k = 0; k < signals.size(); ++k) {
                const double expected = tones[k] * std::exp2(kSettings[s].semitones / 12.0);
                const ToneFigures f =
                    measureTone(renderSoundTouch(t, signals[k], kSettings[s]), expected, kRate);
                mean[s] += f.outOfBandDb / static_cast<double>(signals.size());
                if (tones[k] == 440.0) {
                    at440[s] = f.outOfBandDb;
                    cents = std::fabs(f.cents) > std::fabs(cents) ? f.cents : cents;
                }
            }
        }
        const double spread =
            measureClicks(renderSoundTouch(t, clicks, kSettings[2]), 0.5, kTempo, 20, kRate)
                .spreadMs;
        // SoundTouch alone, stereo, at "both": seconds per minute of audio.
        const double cpuStart = bench::cpuSeconds(RUSAGE_SELF);
        renderSoundTouch(t, music, kSettings[2], 2);
        const double cpu = (bench::cpuSeconds(RUSAGE_SELF) - cpuStart) * 3.0;
        std::printf("%-18s %7.1f %7.1f %7.1f | %7.1f %7.1f %7.1f | %7.3f | %7.1f | %7.2f\n", name,
                    mean[0], mean[1], mean[2], at440[0], at440[1], at440[2], cents, spread, cpu);
    }
}

// Renders a recording at tempo -50 % with both engines and compares each with the original:
// where the hits land (expected at twice their time; spread of the attack times), how many
// come out doubled (a flam: a second attack within 100 ms, against the original's own double
// peaks within 50 ms), and the long-term spectrum per octave band.
void compareRecording(const std::string& path) {
    std::vector<float> frames;
    int rate = 0;
    int channels = 0;
    if (!testsupport::decodeFile(path, &frames, &rate, &channels) || channels <= 0) {
        std::fprintf(stderr, "cannot decode %s\n", path.c_str());
        return;
    }
    const auto original = testsupport::channelOf(frames, channels, 0);
    for (const DWORD flag : {DWORD{0}, TONVERA_FX_TEMPO_LIGHT})
        doubledGainFigures(flag, path, frames);
    const auto d0 = onsetStrength(original, rate);
    double mean = 0.0;
    double top = 0.0;
    for (double v : d0) {
        mean += v / static_cast<double>(d0.size());
        top = std::max(top, v);
    }
    // Onsets every 5 ms hop; the envelope runs at 2.5 ms, so an onset at hop h is at 2h there.
    const auto hits = peaks(d0, 0, d0.size(), std::max(3.0 * mean, 0.2 * top), 20);
    const auto env0 = envelope(original, rate);
    int doubled0 = 0;
    for (std::size_t h : hits) {
        const std::size_t at = 2 * h;
        if (analyseHit(env0, at > 4 ? at - 4 : 0, at + 20).reattackMs >= 0)
            ++doubled0;
    }
    const auto bands0 = octaveLevels(original, rate);
    std::printf(
        "\n%s: %.1f s, %d Hz, %zu hits (%d with a double peak of their own); tempo -50 %%\n",
        path.c_str(), original.size() / static_cast<double>(rate), rate, hits.size(), doubled0);
    std::printf("%-7s %13s %8s %10s | octave bands 63 Hz..16 kHz, dB against the original\n",
                "engine", "attack spread", "flams", "flam gap");
    for (const DWORD flag : {DWORD{0}, TONVERA_FX_TEMPO_LIGHT}) {
        std::vector<float> out;
        if (!renderOurs(flag, path, Setting{"half", 0.5, 0.0}, &out))
            continue;
        const auto env = envelope(out, rate);
        std::vector<double> attacks;
        int flams = 0;
        double gapSum = 0.0;
        for (std::size_t h : hits) {
            const std::size_t at = 4 * h;  // twice the time, at 2.5 ms hops
            const Hit hit = analyseHit(env, at > 8 ? at - 8 : 0, at + 40);
            attacks.push_back(hit.attackMs);
            if (hit.reattackMs >= 0) {
                ++flams;
                gapSum += hit.reattackMs;
            }
        }
        std::sort(attacks.begin(), attacks.end());
        // The middle 90 % of the attack times: a few hits masked by a louder neighbour aside.
        const std::size_t cut = attacks.size() / 20;
        const double spread =
            attacks.size() > 2 * cut ? attacks[attacks.size() - 1 - cut] - attacks[cut] : NAN;
        const auto bands = octaveLevels(out, rate);
        std::printf("%-7s %10.1f ms %4d/%-3zu %7.1f ms |", flag == 0 ? "Best" : "Light", spread,
                    flams, hits.size(), flams ? gapSum / flams : 0.0);
        for (std::size_t b = 0; b < bands.size() && b < bands0.size(); ++b)
            std::printf(" %+5.1f", bands[b] - bands0[b]);
        std::printf("\n");
    }
}

}  // namespace

int main(int argc, char** argv) {
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    if (argc > 1 && std::strcmp(argv[1], "--tune") == 0) {
        tuneSoundTouch(argc, argv);
        return 0;
    }
    testsupport::TempDir dir;
    const std::string tone = dir.file("tone.wav");
    const std::string clickFile = dir.file("clicks.wav");
    const std::string noiseFile = dir.file("noise.wav");
    const std::string music = dir.file("music.wav");
    constexpr double kToneSeconds = 10.0;
    constexpr double kClickInterval = 0.5;
    constexpr double kMusicSeconds = 60.0;
    const auto noise = bandNoise(19800.0, 21500.0, 6.0, kRate);
    std::string error;
    if (!testsupport::writeAudioFile(tone, testsupport::sine(440.0, kToneSeconds, kRate, 2, 0.5F),
                                     kRate, 2, &error) ||
        !testsupport::writeAudioFile(clickFile, testsupport::clicks(kClickInterval, 10.0, kRate, 2),
                                     kRate, 2, &error) ||
        !testsupport::writeAudioFile(noiseFile, stereo(noise), kRate, 2, &error) ||
        !testsupport::writeAudioFile(music, bench::musicLikeSignal(kMusicSeconds, kRate), kRate, 2,
                                     &error)) {
        std::fprintf(stderr, "cannot write the test files: %s\n", error.c_str());
        return 1;
    }
    if (!BASS_Init(0, kRate, 0, nullptr, nullptr)) {
        std::fprintf(stderr, "cannot open the no-sound device: %d\n", BASS_ErrorGetCode());
        return 1;
    }
    const bool positionOnly = argc > 1 && std::strcmp(argv[1], "--position") == 0;
    if (argc > 2 && std::strcmp(argv[1], "--compare") == 0) {
        for (int i = 2; i < argc; ++i)
            compareRecording(argv[i]);
        return 0;
    }
    const std::string scratch = dir.file("out.wav");
    const std::size_t toneFrames = static_cast<std::size_t>(kToneSeconds * kRate);

    std::printf(
        "Out-of-band energy (dB re. total, outside +-10 Hz of the tone; lower is "
        "cleaner), 440 Hz sine at -6 dBFS, 16-bit:\n\n");
    std::printf("| %-40s | %7s | %7s | %7s | %9s | %11s | %11s | %8s | %11s | %9s |\n", "", "tempo",
                "pitch", "both", "cents", "duration ms", "clicks ms", "alias dB", "CPU s/min",
                "offset ms");
    std::printf("|%s|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n",
                std::string(42, '-').c_str());
    for (const Processor& p : processors()) {
        if (positionOnly)
            break;
        double db[3] = {NAN, NAN, NAN};
        double worstCents = 0.0;
        double durationMs = NAN;
        bool ok = true;
        for (int s = 0; s < 3; ++s) {
            std::vector<float> out;
            if (!p.run(tone, kSettings[s], scratch, &out)) {
                ok = false;
                break;
            }
            const double expected = 440.0 * std::exp2(kSettings[s].semitones / 12.0);
            const ToneFigures f = measureTone(out, expected, kRate);
            db[s] = f.outOfBandDb;
            worstCents = std::fabs(f.cents) > std::fabs(worstCents) ? f.cents : worstCents;
            if (s == 2) {
                const double target = std::round(toneFrames / kSettings[s].tempo);
                durationMs = (static_cast<double>(out.size()) - target) * 1000.0 / kRate;
            }
        }
        if (!ok) {
            std::printf("| %-40s | not available |\n", p.name.c_str());
            continue;
        }
        std::vector<float> out;
        p.run(clickFile, kSettings[2], scratch, &out);
        const ClickFigures clicks = measureClicks(
            out, kClickInterval, kTempo, static_cast<std::size_t>(10.0 / kClickInterval), kRate);
        p.run(noiseFile, kSettings[1], scratch, &out);
        const double alias = levelDb(out, noise, kRate);
        const int who = p.external ? RUSAGE_CHILDREN : RUSAGE_SELF;
        const double cpuStart = bench::cpuSeconds(who);
        p.run(music, kSettings[2], scratch, &out);
        const double cpuPerMinute = (bench::cpuSeconds(who) - cpuStart) * 60.0 / kMusicSeconds;
        std::printf(
            "| %-40s | %7.1f | %7.1f | %7.1f | %9.3f | %11.2f | %11.1f | %8.1f | %11.2f | %9.1f "
            "|\n",
            p.name.c_str(), db[0], db[1], db[2], worstCents, durationMs, clicks.spreadMs, alias,
            cpuPerMinute, clicks.offsetMs);
    }
    std::printf(
        "\ncents: the largest pitch error of the three settings; duration: at \"both\", "
        "against source length / 0.75; clicks: onset spread at \"both\"; alias: "
        "19.8-21.5 kHz noise at +2 semitones; CPU: at \"both\"; offset: median click "
        "onset against source time / ratio.\n");

    std::printf(
        "\nReported position at each heard click, tempo changing every 2 s (-25, +30, -50, "
        "0 %%); error = reported - true:\n");
    for (const DWORD flag : {DWORD{0}, TONVERA_FX_TEMPO_LIGHT}) {
        const PositionFigures f = positionError(flag, clickFile, kClickInterval);
        std::printf("  %-6s median %+.2f ms, largest %.2f ms\n",
                    flag == 0 ? "Best:" : "Light:", f.medianMs, f.worstMs);
    }
    BASS_Free();

    if (!positionOnly && BASS_Init(-1, kRate, 0, nullptr, nullptr)) {
        std::printf("\nLive playback at tempo -25 %%, pitch +2 (process CPU, %% of one core):\n");
        std::printf("  Best:  %.1f %%\n", livePlaybackCpu(0, music, 5.0));
        std::printf("  Light: %.1f %%\n", livePlaybackCpu(TONVERA_FX_TEMPO_LIGHT, music, 5.0));
        BASS_Free();
    } else {
        std::printf("\nLive playback: no output device (error %d)\n", BASS_ErrorGetCode());
    }
    return 0;
}
