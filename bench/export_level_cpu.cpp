// What the export's level costs: CPU time of a Light export (tempo -25 %, WAV) of a minute of
// music that peaks at -1 dBFS, at the recording's own level (the limiter's ceiling at full scale:
// nothing to limit, every block moved on whole) and as heard at full volume (doubled, the limiter
// at work); then the limiter alone on that music, in blocks and one frame at a time (shorter than
// its look-ahead, so no block is ever moved on whole: the frame-by-frame path's own cost). Each
// figure is the best of three runs. Prints figures; passes or fails nothing.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "audiolib/audiolib.h"
#include "audiolib/dsp/PeakLimiter.h"
#include "engine/export/ExportType.h"
#include "engine/export/SoundExporter.h"
#include "logging/Console.h"
#include "support/AudioFixtures.h"
#include "support/TempHome.h"

namespace {

constexpr int kLimiterRate = 44100;
constexpr double kMusicSeconds = 60.0;
constexpr int kRuns = 3;

double exportCpu(const std::string& in, const std::string& out, ExportLevel level) {
    double best = -1.0;
    for (int run = 0; run < kRuns; ++run) {
        ExportSettings settings;
        settings.musicFile = in;
        settings.tempo = -25.0F;
        settings.engineFlags = TONVERA_FX_TEMPO_LIGHT;
        settings.level = level;
        SoundExporter exporter;
        const double start = bench::cpuSeconds();
        bool ok = exporter.prepare(settings);
        if (ok)
            ok = exporter.exportTo(exporttype::kWav, out);
        exporter.finish();
        const double used = bench::cpuSeconds() - start;
        if (!ok)
            return -1.0;
        best = best < 0.0 ? used : std::min(best, used);
    }
    return best;
}

double limiterCpu(const std::vector<float>& music, float ceiling, std::size_t blockFrames) {
    double best = -1.0;
    std::vector<float> out(music.size());
    for (int run = 0; run < kRuns; ++run) {
        audiolib::PeakLimiter limiter(kLimiterRate, 2);
        limiter.setCeiling(ceiling);
        const std::size_t frames = music.size() / 2;
        const double start = bench::cpuSeconds();
        for (std::size_t at = 0; at < frames; at += blockFrames) {
            const std::size_t n = std::min(blockFrames, frames - at);
            limiter.process(music.data() + 2 * at, out.data() + 2 * at, n);
        }
        const double used = bench::cpuSeconds() - start;
        best = best < 0.0 ? used : std::min(best, used);
    }
    return best;
}

}  // namespace

int main() {
    // The exporter's own log lines would drown the figures.
    setConsoleToStderr(false);
    testsupport::TempDir dir;
    std::vector<float> music = bench::musicLikeSignal(kMusicSeconds, kLimiterRate);
    float top = 0.0F;
    for (const float v : music)
        top = std::max(top, std::fabs(v));
    // Mastered music peaks close to full scale: -1 dBFS.
    for (float& v : music)
        v *= 0.891F / top;
    const std::string in = dir.file("music.wav");
    std::string error;
    if (!testsupport::writeAudioFile(in, music, kLimiterRate, 2, &error)) {
        std::fprintf(stderr, "cannot write the input: %s\n", error.c_str());
        return 1;
    }
    const std::string out = dir.file("out.wav");

    std::printf("%.0f s of stereo music peaking at -1 dBFS; CPU seconds, best of %d\n\n",
                kMusicSeconds, kRuns);
    std::printf("| job | CPU s |\n|---|---:|\n");
    std::printf("| Light export, tempo -25 %%, WAV, original level | %.3f |\n",
                exportCpu(in, out, ExportLevel::Original));
    std::printf("| Light export, tempo -25 %%, WAV, as heard (doubled, limited) | %.3f |\n",
                exportCpu(in, out, ExportLevel::Heard));
    std::printf("| limiter alone, ceiling 1 (original), 1024-frame blocks | %.4f |\n",
                limiterCpu(music, 1.0F, 1024));
    std::printf("| limiter alone, ceiling 1 (original), frame by frame | %.4f |\n",
                limiterCpu(music, 1.0F, 1));
    std::printf("| limiter alone, ceiling 0.5 (heard), 1024-frame blocks | %.4f |\n",
                limiterCpu(music, 0.5F, 1024));
    return 0;
}
