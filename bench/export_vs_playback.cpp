// What you export is what you heard: 10 s of a -20 dBFS recording at tempo -20 % and pitch +1,
// once exported to WAV through the program's SoundExporter and once played live by the
// program's SoundEngine on SDL's `disk` driver, which writes what the device would sound (float
// stereo at the device's rate, as the device is opened) to a file at real-time pace. The two are
// aligned in time (cross-correlation: coarse on a decimated mix, then to the frame) and in level
// (the ratio of their RMS), and compared: the correlation over the whole overlap and without its
// first and last half second, the lag, the level ratio and the difference left after level
// alignment are printed, for each stretch engine. Passes or fails nothing.
//
// The edges differ for reasons outside the chain, which the last lines show: live playback fades
// in over its first 5 ms so that play never clicks, and the live stream loops, so its stretcher
// already hears the start again where the export's stream ends and flushes. Between them the
// difference is the export's 16-bit quantisation (about -100 dBFS).
//
// Each live run takes the music's length at the slower tempo in real time (12.5 s).
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "BenchSupport.h"
#include "engine/SoundEngine.h"
#include "engine/export/ExportType.h"
#include "engine/export/SoundExporter.h"
#include "support/AudioFixtures.h"
#include "support/TempHome.h"

namespace {

constexpr int kRate = 44100;
constexpr double kSeconds = 10.0;
constexpr float kTempo = -20.0F;
constexpr float kPitch = 1.0F;
constexpr double kPeak = 0.1;  // -20 dBFS
constexpr std::size_t kDecimation = 8;
constexpr double kLongestLagSeconds = 3.0;

// The music-like signal with its peak at -20 dBFS.
std::vector<float> quietRecording() {
    std::vector<float> music = bench::musicLikeSignal(kSeconds, kRate);
    float peak = 0.0F;
    for (const float sample : music)
        peak = std::max(peak, std::fabs(sample));
    for (float& sample : music)
        sample = static_cast<float>(sample * kPeak / peak);
    return music;
}

std::vector<float> readRawFloats(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<float> samples(bytes.size() / sizeof(float));
    std::copy_n(bytes.data(), samples.size() * sizeof(float),
                reinterpret_cast<char*>(samples.data()));
    return samples;
}

std::vector<double> monoDecimated(const std::vector<float>& stereo, std::size_t factor) {
    const std::size_t frames = stereo.size() / 2 / factor;
    std::vector<double> out(frames);
    for (std::size_t i = 0; i < frames; ++i) {
        double sum = 0.0;
        for (std::size_t k = 0; k < factor; ++k)
            sum += stereo[2 * (i * factor + k)] + stereo[2 * (i * factor + k) + 1];
        out[i] = sum / static_cast<double>(2 * factor);
    }
    return out;
}

// The lag (in frames of `live`) at which `live` best matches `exported`: live[n + lag] ~
// exported[n], searched over [from, to].
long bestLag(const std::vector<double>& exported, const std::vector<double>& live, long from,
             long to) {
    long best = from;
    double bestScore = -1e300;
    for (long lag = from; lag <= to; ++lag) {
        double sum = 0.0;
        for (std::size_t n = 0; n < exported.size(); ++n) {
            const long at = static_cast<long>(n) + lag;
            if (at < 0 || at >= static_cast<long>(live.size()))
                continue;
            sum += exported[n] * live[static_cast<std::size_t>(at)];
        }
        if (sum > bestScore) {
            bestScore = sum;
            best = lag;
        }
    }
    return best;
}

struct Agreement {
    double correlation = 0.0;
    double levelRatio = 0.0;    // live RMS over exported RMS
    double differenceDb = 0.0;  // RMS of what is left after level alignment, dBFS
    double exportDb = 0.0;      // RMS of the export, dBFS
    std::size_t frames = 0;
};

// Pearson correlation of both channels together over exported frames [first, last).
Agreement compare(const std::vector<float>& exported, const std::vector<float>& live, long lag,
                  std::size_t first, std::size_t last) {
    double se = 0, sl = 0, see = 0, sll = 0, sel = 0;
    std::size_t count = 0;
    for (std::size_t n = first; n < last; ++n) {
        const long at = static_cast<long>(n) + lag;
        if (at < 0 || 2 * static_cast<std::size_t>(at) + 1 >= live.size())
            continue;
        for (std::size_t c = 0; c < 2; ++c) {
            const double e = exported[2 * n + c];
            const double l = live[2 * static_cast<std::size_t>(at) + c];
            se += e;
            sl += l;
            see += e * e;
            sll += l * l;
            sel += e * l;
            ++count;
        }
    }
    Agreement a;
    if (count == 0)
        return a;
    const double k = static_cast<double>(count);
    const double cov = sel / k - (se / k) * (sl / k);
    const double ve = see / k - (se / k) * (se / k);
    const double vl = sll / k - (sl / k) * (sl / k);
    a.correlation = ve > 0 && vl > 0 ? cov / std::sqrt(ve * vl) : 0.0;
    a.levelRatio = see > 0 ? std::sqrt(sll / see) : 0.0;
    // |l/g - e|^2 with g the level ratio, relative to |e|^2.
    const double g = a.levelRatio > 0 ? a.levelRatio : 1.0;
    const double residual = sll / (g * g) - 2.0 * sel / g + see;
    a.differenceDb = 10.0 * std::log10(std::max(residual / k, 1e-30));
    a.exportDb = 10.0 * std::log10(std::max(see / k, 1e-30));
    a.frames = count / 2;
    return a;
}

// One export and one live capture of `music` with the stretch engine of `quality`, compared.
bool measure(const testsupport::TempDir& dir, const std::string& music, SoundQuality quality,
             const char* name) {
    const std::string exported = dir.file(std::string("export-") + name + ".wav");
    const std::string captured = dir.file(std::string("capture-") + name + ".raw");

    // The export, as the window runs it (its thread's device is 0 here: no engine yet).
    ExportSettings settings;
    settings.musicFile = music;
    settings.tempo = kTempo;
    settings.pitch = kPitch;
    settings.engineFlags = MusicChain::engineFlags(quality);
    // Compared with what is heard, so at the level heard (the live volume is at full below).
    settings.level = ExportLevel::Heard;
    {
        SoundExporter exporter;
        bool ok = exporter.prepare(settings);
        if (ok)
            ok = exporter.exportTo(exporttype::kWav, exported);
        exporter.finish();
        if (!ok) {
            std::fprintf(stderr, "export failed: %s\n", exporter.failure().c_str());
            return false;
        }
    }

    // The same music heard: SDL's disk driver writes what the device plays, from the device's
    // opening on.
    ::setenv("SDL_DISKAUDIOFILE", captured.c_str(), 1);
    const double playSeconds = kSeconds / (1.0 + kTempo / 100.0);
    {
        SoundEngine engine;
        engine.setSoundQuality(quality);
        if (!engine.initialize() || !engine.open(music)) {
            std::fprintf(stderr, "live playback could not start\n");
            return false;
        }
        engine.setTempo(kTempo);
        engine.setPitch(kPitch);
        engine.setVolume(100.0F);  // library level 1: the export ignores the live volume
        engine.play();
        std::this_thread::sleep_for(std::chrono::duration<double>(playSeconds + 1.0));
        engine.pause();
        engine.shutdown();
    }

    std::vector<float> file;
    int rate = 0;
    int channels = 0;
    if (!testsupport::decodeFile(exported, &file, &rate, &channels) || channels != 2 ||
        rate != kRate) {
        std::fprintf(stderr, "cannot read the export back\n");
        return false;
    }
    const std::vector<float> live = readRawFloats(captured);
    std::printf("\n%s: export %.3f s, live capture %.3f s (float stereo at %d Hz)\n", name,
                static_cast<double>(file.size() / 2) / kRate,
                static_cast<double>(live.size() / 2) / kRate, kRate);

    const auto coarseExport = monoDecimated(file, kDecimation);
    const auto coarseLive = monoDecimated(live, kDecimation);
    const long longest = static_cast<long>(kLongestLagSeconds * kRate / kDecimation);
    const long coarse = bestLag(coarseExport, coarseLive, -longest, longest);
    const long around = coarse * static_cast<long>(kDecimation);
    const long lag =
        bestLag(monoDecimated(file, 1), monoDecimated(live, 1), around - 16, around + 16);

    const std::size_t frames = file.size() / 2;
    const std::size_t edge = kRate / 2;
    const Agreement whole = compare(file, live, lag, 0, frames);
    const Agreement inner = compare(file, live, lag, edge, frames - edge);
    std::printf("  lag: %ld frames (%.2f ms) from the capture's start to the music's\n", lag,
                1000.0 * static_cast<double>(lag) / kRate);
    std::printf("  correlation, whole overlap (%zu frames): %.6f\n", whole.frames,
                whole.correlation);
    std::printf("  correlation, without the first and last 0.5 s (%zu frames): %.6f\n",
                inner.frames, inner.correlation);
    std::printf("  level ratio live / export: %.5f (%+.3f dB)\n", whole.levelRatio,
                20.0 * std::log10(std::max(whole.levelRatio, 1e-9)));
    std::printf(
        "  export RMS %.1f dBFS; difference after level alignment %.1f dBFS whole, "
        "%.1f dBFS inner\n",
        whole.exportDb, whole.differenceDb, inner.differenceDb);
    std::printf("  correlation by half second:");
    for (std::size_t from = 0; from + edge <= frames; from += edge)
        std::printf(" %.5f", compare(file, live, lag, from, from + edge).correlation);
    std::printf("\n");
    const std::size_t fadeIn = kRate / 200;  // 5 ms
    const std::size_t loopEnd = kRate / 10;  // 100 ms
    const Agreement first = compare(file, live, lag, 0, fadeIn);
    const Agreement middle = compare(file, live, lag, fadeIn, frames - loopEnd);
    const Agreement last = compare(file, live, lag, frames - loopEnd, frames);
    // Silence on both sides (a stretcher that starts quietly) has no difference to speak of.
    const auto dbfs = [](double db) {
        return db < -200.0 ? std::string("silent") : std::to_string(std::lround(db)) + " dBFS";
    };
    std::printf(
        "  difference: first 5 ms (the play fade-in) %s, then %s, last 100 ms (where the "
        "live stream loops) %s\n",
        dbfs(first.differenceDb).c_str(), dbfs(middle.differenceDb).c_str(),
        dbfs(last.differenceDb).c_str());
    return true;
}

}  // namespace

int main() {
    testsupport::TempDir dir;
    const std::string music = dir.file("recording.wav");
    std::string error;
    if (!testsupport::writeAudioFile(music, quietRecording(), kRate, 2, &error)) {
        std::fprintf(stderr, "cannot write the recording: %s\n", error.c_str());
        return 1;
    }
    ::setenv("SDL_AUDIODRIVER", "disk", 1);
    std::printf("10 s at -20 dBFS peak, tempo %+.0f %%, pitch %+.0f: export vs live playback\n",
                static_cast<double>(kTempo), static_cast<double>(kPitch));
    const bool best = measure(dir, music, SoundQuality::Best, "Best (Rubber Band R3)");
    const bool light = measure(dir, music, SoundQuality::Light, "Light (SoundTouch)");
    return best && light ? 0 : 1;
}
