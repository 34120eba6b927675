// Time of one position tick's visual work: updateData() plus a full draw of the spectrum view
// into an image of the view's usual size, at the tick rate of 10 Hz. Data comes from a generated
// signal run through the engine's own scaling, so no sound card or music file is needed.
// Prints mean and worst per case in microseconds; the diagnostic lines go to stderr.
#include <QApplication>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/VisualData.h"
#include "visualisation/GlobalSettings.h"
#include "visualisation/SpectrumView.h"
#include "visualisation/VisualDataSource.h"

namespace {

constexpr int kTicks = 50;
constexpr auto kTickPeriod = std::chrono::milliseconds(100);
constexpr double kTwoPi = 6.283185307179586;

// A moving two-tone signal: each request sees the next stretch of it.
class GeneratedSource : public VisualDataSource {
  public:
    std::optional<std::vector<int>> spectrumData(int size, int height) override {
        float bins[visualdata::kFftBins] = {};
        for (int k = 0; k < visualdata::kFftBins; ++k) {
            const double wobble = 0.5 + 0.5 * std::sin(0.3 * k + 0.7 * phase_);
            bins[k] = static_cast<float>(0.02 * wobble / (1.0 + 0.05 * k));
        }
        phase_ += 1.0;
        return visualdata::scaleSpectrum(bins, size, height);
    }

    std::vector<std::vector<int>> waveData(int size, int height) override {
        std::vector<float> frames(static_cast<std::size_t>(size) * 2);
        for (int i = 0; i < size; ++i) {
            const double t = (offset_ + i) / 44100.0;
            frames[2 * i] = static_cast<float>(0.8 * std::sin(kTwoPi * 440.0 * t));
            frames[2 * i + 1] = static_cast<float>(0.6 * std::sin(kTwoPi * 1320.0 * t));
        }
        offset_ += 4410;
        return visualdata::traceWaveform(frames.data(), 2, size, size, height);
    }

  private:
    double phase_ = 0.0;
    long offset_ = 0;
};

struct Figures {
    double meanUs = 0.0;
    double worstUs = 0.0;
};

Figures runTicks(SpectrumView& view, QImage& image) {
    std::vector<double> times;
    times.reserve(kTicks);
    auto next = std::chrono::steady_clock::now();
    for (int tick = 0; tick < kTicks; ++tick) {
        std::this_thread::sleep_until(next);
        next += kTickPeriod;
        const auto start = std::chrono::steady_clock::now();
        {
            std::lock_guard<std::recursive_mutex> lock(view.dataLock());
            view.updateData();
            QPainter painter(&image);
            view.renderTo(painter, image.size());
        }
        const auto end = std::chrono::steady_clock::now();
        times.push_back(std::chrono::duration<double, std::micro>(end - start).count());
    }
    Figures f;
    for (double t : times)
        f.meanUs += t;
    f.meanUs /= static_cast<double>(times.size());
    f.worstUs = *std::max_element(times.begin(), times.end());
    return f;
}

}  // namespace

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);

    // Settings of its own beside the temporary folder, so the user's choice is never touched.
    const QString settingsFile =
        QString::fromLocal8Bit(qgetenv("TMPDIR").isEmpty() ? "/tmp" : qgetenv("TMPDIR")) +
        QStringLiteral("/tonvera-bench-visualisation.ini");
    GlobalSettings settings(settingsFile);

    SpectrumView view;
    view.resize(500, 130);
    view.setSettings(&settings);
    view.setDataSource(std::make_unique<GeneratedSource>());
    QImage image(view.size(), QImage::Format_RGB32);

    settings.setSpectrumType(SpectrumTypeFFT);
    const Figures spectrum = runTicks(view, image);
    settings.setSpectrumType(SpectrumTypeWaveForm);
    const Figures wave = runTicks(view, image);
    QFile::remove(settingsFile);

    std::printf("visualisation tick (updateData + draw, %dx%d, %d ticks at 10 Hz)\n", view.width(),
                view.height(), kTicks);
    std::printf("  spectrum, 50 bars:        mean %8.1f us   worst %8.1f us\n", spectrum.meanUs,
                spectrum.worstUs);
    std::printf("  waveform, 2 channels:     mean %8.1f us   worst %8.1f us\n", wave.meanUs,
                wave.worstUs);
    return 0;
}
