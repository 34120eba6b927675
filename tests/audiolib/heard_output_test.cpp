// What actually leaves the device, recorded by SDL's "disk" driver: starting, pausing and taking
// away a sounding stream must never jump (click), with either stretch engine. The signal is a
// constant level, so any cut without a fade shows as one large step.
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <thread>

#include "AudiolibTestSupport.h"
#include "audiolib/device/DeviceManager.h"

namespace {

using testsupport::kRate;

class HeardOutputTest : public ::testing::TestWithParam<DWORD> {
  protected:
    void SetUp() override {
        if (const char* old = std::getenv("SDL_AUDIODRIVER"))
            oldDriver_ = old;
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", dir_.file("heard.raw").c_str(), 1);
        if (!BASS_Init(-1, kRate, 0, nullptr, nullptr)) {
            GTEST_SKIP() << "SDL's disk driver is not available";
        }
        open_ = true;
        path_ = dir_.file("level.wav");
        const std::vector<float> level(2 * kRate * 5, 0.5F);
        ASSERT_TRUE(
            testsupport::writeWav(path_, level, kRate, 2, testsupport::WavSampleFormat::Float32));
    }

    void TearDown() override {
        if (open_)
            BASS_Free();
        if (oldDriver_) {
            setenv("SDL_AUDIODRIVER", oldDriver_->c_str(), 1);
        } else {
            unsetenv("SDL_AUDIODRIVER");
        }
        unsetenv("SDL_DISKAUDIOFILE");
    }

    bool waitForDevice(std::uint64_t frames) {
        auto& mixer = audiolib::DeviceManager::instance().current()->mixer();
        const std::uint64_t target = mixer.framesProcessed() + frames;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (mixer.framesProcessed() < target) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return true;
    }

    // Closes the device and returns everything it was given.
    std::vector<float> heard() {
        BASS_Free();
        open_ = false;
        std::ifstream file(dir_.file("heard.raw"), std::ios::binary | std::ios::ate);
        std::vector<float> samples(static_cast<std::size_t>(file.tellg()) / sizeof(float));
        file.seekg(0);
        file.read(reinterpret_cast<char*>(samples.data()),
                  static_cast<std::streamsize>(samples.size() * sizeof(float)));
        return samples;
    }

    testsupport::TempDir dir_;
    std::optional<std::string> oldDriver_;
    std::string path_;
    bool open_ = false;
};

// The light engine once padded silence in front of the music at every start and seek: the
// playback's fade-in went by on the silence and the music began with a step.
TEST_P(HeardOutputTest, StartPauseResumeAndFreeNeverJump) {
#if defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "measures what a real-time device heard; under ThreadSanitizer the stretcher "
                    "cannot keep real time";
#endif
    const HSTREAM music = audiolibtest::makeTempoStream(path_, BASS_SAMPLE_FLOAT, GetParam());
    ASSERT_NE(music, 0U);
    ASSERT_TRUE(BASS_ChannelPlay(music, FALSE));
    ASSERT_TRUE(waitForDevice(kRate / 5));
    ASSERT_TRUE(BASS_ChannelPause(music));
    // Paused, the device rests: wait in real time.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_TRUE(BASS_ChannelPlay(music, FALSE));
    ASSERT_TRUE(waitForDevice(kRate / 5));
    ASSERT_TRUE(BASS_ChannelSetPosition(music, BASS_ChannelSeconds2Bytes(music, 3.0), 0));
    ASSERT_TRUE(waitForDevice(kRate / 5));
    ASSERT_TRUE(BASS_StreamFree(music));  // what opening another file does
    // Nothing plays now, so the device rests: wait in real time for the fade to be written.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto out = heard();
    ASSERT_GT(out.size(), 2U * kRate / 2);
    EXPECT_NEAR(testsupport::peak(out), 0.5, 0.01);  // it did play at its level
    // A 5 ms fade moves a 0.5 level by 0.0023 per frame; a cut would move it by 0.5.
    EXPECT_LT(audiolibtest::largestStep(out, 2, 0), 0.01F);
    EXPECT_EQ(out[out.size() - 2], 0.0F);  // and it is gone at the end
}

INSTANTIATE_TEST_SUITE_P(Engines, HeardOutputTest,
                         ::testing::Values(DWORD{0}, TONVERA_FX_TEMPO_LIGHT),
                         [](const auto& info) { return info.param == 0 ? "Best" : "Light"; });

}  // namespace
