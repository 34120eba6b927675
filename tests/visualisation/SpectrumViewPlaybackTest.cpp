// The view fed by a real engine playing a generated tone on SDL's dummy output: the bars and the
// traces must show that tone, as the position tick would see them.
#include <gtest/gtest.h>

#include <QPainter>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <thread>

#include "VisualTestSupport.h"
#include "engine/SoundEngine.h"
#include "logging/Logger.h"
#include "support/TempHome.h"
#include "visualisation/GlobalSettings.h"
#include "visualisation/SpectrumView.h"

namespace {

void putLE(std::ofstream& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.put(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// A stereo 16-bit WAV file of a sine at half scale.
bool writeSineWav(const std::string& path, double hz, double seconds, int rate) {
    const std::uint32_t frames = static_cast<std::uint32_t>(seconds * rate);
    const std::uint32_t dataBytes = frames * 2 * 2;
    std::ofstream out(path, std::ios::binary);
    out.write("RIFF", 4);
    putLE(out, 36 + dataBytes, 4);
    out.write("WAVEfmt ", 8);
    putLE(out, 16, 4);
    putLE(out, 1, 2);  // PCM
    putLE(out, 2, 2);  // channels
    putLE(out, static_cast<std::uint32_t>(rate), 4);
    putLE(out, static_cast<std::uint32_t>(rate) * 4, 4);
    putLE(out, 4, 2);
    putLE(out, 16, 2);
    out.write("data", 4);
    putLE(out, dataBytes, 4);
    constexpr double kTwoPi = 6.283185307179586;
    for (std::uint32_t i = 0; i < frames; ++i) {
        const double s = 0.5 * std::sin(kTwoPi * hz * i / rate);
        const auto sample = static_cast<std::uint16_t>(static_cast<std::int16_t>(s * 32767.0));
        putLE(out, sample, 2);
        putLE(out, sample, 2);
    }
    return static_cast<bool>(out);
}

class SpectrumViewPlaybackTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(Logger::sharedSingleton().open(dir_.file("log.txt")));
        if (!engine_.initialize()) {
            GTEST_SKIP() << "no audio output could be initialised (SDL_AUDIODRIVER=dummy expected)";
        }
        initialised_ = true;
        view_.resize(500, 130);
        view_.setSettings(&settings_);
        view_.setEngine(&engine_);
    }
    void TearDown() override {
        if (initialised_) {
            engine_.reset();
            engine_.close();
        }
        Logger::sharedSingleton().close();
    }

    // Plays a 1 kHz tone and waits until the engine reports playing.
    void startTone() {
        const std::string path = dir_.file("tone.wav");
        ASSERT_TRUE(writeSineWav(path, 1000.0, 3.0, 44100));
        ASSERT_TRUE(engine_.open(path));
        engine_.play();
        ASSERT_TRUE(visualtest::pumpUntil([this] { return engine_.isPlaying(); }, 5000));
    }

    // Ticks like the position timer until the condition on the held data holds.
    bool tickUntil(const std::function<bool(const SpectrumData&)>& condition) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (std::chrono::steady_clock::now() < end) {
            {
                std::lock_guard<std::recursive_mutex> lock(view_.dataLock());
                if (engine_.isPlaying())
                    view_.updateData();
            }
            if (condition(view_.specData()))
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

    testsupport::TempDir dir_;
    GlobalSettings settings_{QString::fromStdString(dir_.file("settings.ini"))};
    SoundEngine engine_;
    SpectrumView view_;
    bool initialised_ = false;
};

}  // namespace

TEST_F(SpectrumViewPlaybackTest, SpectrumBarsPeakAtTheTone) {
    settings_.setSpectrumType(SpectrumTypeFFT);
    startTone();

    // 1 kHz lies in bin 46 of a 2048-point FFT at 44100 Hz; the view holds bins 1..50.
    const int expected = static_cast<int>(std::lround(1000.0 * 2048 / 44100)) - 1;
    int peak = -1;
    const bool shown = tickUntil([&](const SpectrumData& data) {
        const auto* bars = std::get_if<std::vector<int>>(&data);
        if (bars == nullptr || bars->size() != 50U)
            return false;
        const auto top = std::max_element(bars->begin(), bars->end());
        if (*top <= 0)
            return false;
        peak = static_cast<int>(top - bars->begin());
        return true;
    });
    ASSERT_TRUE(shown) << "no spectrum bars while the tone plays";
    EXPECT_NEAR(peak, expected, 1);

    QImage image = visualtest::blankImage(500, 130);
    QPainter painter(&image);
    view_.renderTo(painter, view_.size());
    painter.end();
    EXPECT_GT(visualtest::columnHeight(image, 1 + 10 * peak), 0);
}

TEST_F(SpectrumViewPlaybackTest, WaveformTracesBothChannelsOfTheTone) {
    settings_.setSpectrumType(SpectrumTypeWaveForm);
    startTone();

    // A half-scale sine swings between 25 and 75 around the silence level 50.
    const bool shown = tickUntil([](const SpectrumData& data) {
        const auto* traces = std::get_if<std::vector<std::vector<int>>>(&data);
        if (traces == nullptr || traces->size() != 2U)
            return false;
        for (const auto& trace : *traces) {
            if (trace.size() < 100U)
                return false;
            const auto [low, high] = std::minmax_element(trace.begin(), trace.end());
            if (*low > 30 || *high < 70 || *low < 0 || *high > 126)
                return false;
        }
        return true;
    });
    EXPECT_TRUE(shown) << "no stereo trace of the tone while it plays";
}
