// Live playback through the real path: SDL output (the dummy driver under test), feeder thread,
// callback. Progress is measured against the frames the device has consumed, never against the
// wall clock; every wait has a timeout.
#include <chrono>
#include <cmath>
#include <thread>

#include "AudiolibTestSupport.h"
#include "audiolib/device/DeviceManager.h"

namespace {

using audiolibtest::DeviceScope;
using audiolibtest::makeTempoStream;

class LivePlaybackTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!device_.ok())
            GTEST_SKIP() << "no SDL output (set SDL_AUDIODRIVER=dummy)";
        path_ = dir_.file("sine.wav");
        ASSERT_TRUE(testsupport::writeAudioFile(
            path_, testsupport::sine(440.0, 20.0, 44100, 2, 0.5F), 44100, 2));
        // The light engine: these check the playback path, not the stretcher, and must keep
        // real time in the sanitizer builds too.
        music_ =
            makeTempoStream(path_, BASS_SAMPLE_FLOAT, BASS_SAMPLE_LOOP | TONVERA_FX_TEMPO_LIGHT);
        ASSERT_NE(music_, 0U) << BASS_ErrorGetCode();
    }

    std::uint64_t deviceFrames() const {
        return audiolib::DeviceManager::instance().current()->mixer().framesProcessed();
    }

    // Waits until the device has consumed `frames` more frames; false after ten seconds.
    bool waitForDevice(std::uint64_t frames) const {
        const std::uint64_t target = deviceFrames() + frames;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (deviceFrames() < target) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }

    // Waits until the device has stopped calling the mixer (nothing plays, so it rests) for a
    // tenth of a second; false if it still runs after ten seconds.
    bool waitUntilResting() const {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        std::uint64_t seen = deviceFrames();
        auto quietSince = std::chrono::steady_clock::now();
        while (std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            const std::uint64_t now = deviceFrames();
            if (now != seen) {
                seen = now;
                quietSince = std::chrono::steady_clock::now();
            } else if (std::chrono::steady_clock::now() - quietSince >
                       std::chrono::milliseconds(100)) {
                return true;
            }
        }
        return false;
    }

    double positionSeconds() const {
        return BASS_ChannelBytes2Seconds(music_, BASS_ChannelGetPosition(music_, BASS_POS_BYTE));
    }

    DeviceScope device_{-1};
    testsupport::TempDir dir_;
    std::string path_;
    HSTREAM music_ = 0;
};

TEST_F(LivePlaybackTest, PositionRunsAtTheTempoRatioAndPauseHoldsIt) {
    ASSERT_TRUE(BASS_ChannelSetAttribute(music_, BASS_ATTRIB_TEMPO, 100.0F));
    ASSERT_TRUE(BASS_ChannelPlay(music_, FALSE));
    EXPECT_EQ(BASS_ChannelIsActive(music_), BASS_ACTIVE_PLAYING);
    ASSERT_TRUE(waitForDevice(4410));  // past the start-up
    const std::uint64_t startFrames = deviceFrames();
    const double start = positionSeconds();
    ASSERT_TRUE(waitForDevice(44100));
    const double played = (deviceFrames() - startFrames) / 44100.0;
    // The device buffer and the feeder's schedule blur both ends by a few tens of milliseconds.
    EXPECT_NEAR(positionSeconds() - start, 2.0 * played, 0.12);

    ASSERT_TRUE(BASS_ChannelPause(music_));
    EXPECT_EQ(BASS_ChannelIsActive(music_), BASS_ACTIVE_PAUSED);
    // Paused and faded out, nothing plays: the device rests instead of running the mixer.
    ASSERT_TRUE(waitUntilResting());
    const double held = positionSeconds();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(positionSeconds(), held);

    ASSERT_TRUE(BASS_ChannelPlay(music_, FALSE));
    EXPECT_EQ(BASS_ChannelIsActive(music_), BASS_ACTIVE_PLAYING);
    ASSERT_TRUE(waitForDevice(22050));
    EXPECT_GT(positionSeconds(), held + 0.5);
}

TEST_F(LivePlaybackTest, SettingThePositionWhilePlayingIsReportedAtOnce) {
    ASSERT_TRUE(BASS_ChannelPlay(music_, FALSE));
    ASSERT_TRUE(waitForDevice(8820));
    const QWORD target = BASS_ChannelSeconds2Bytes(music_, 12.0);
    ASSERT_TRUE(BASS_ChannelSetPosition(music_, target, BASS_POS_BYTE));
    EXPECT_EQ(BASS_ChannelGetPosition(music_, BASS_POS_BYTE), target);
    ASSERT_TRUE(waitForDevice(22050));
    EXPECT_NEAR(positionSeconds(), 12.5, 0.1);
}

TEST_F(LivePlaybackTest, DataOfAPlayingChannelIsWhatIsHeard) {
    float bins[1024] = {};
    EXPECT_EQ(BASS_ChannelGetData(music_, bins, BASS_DATA_FFT2048), static_cast<DWORD>(-1));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_NOTAVAIL);  // never played
    const HFX fx = BASS_ChannelSetFX(music_, BASS_FX_BFX_VOLUME, 1);
    const BASS_BFX_VOLUME doubled{BASS_BFX_CHANALL, 2.0F};
    ASSERT_TRUE(BASS_FXSetParameters(fx, &doubled));
    ASSERT_TRUE(BASS_ChannelSetAttribute(music_, BASS_ATTRIB_VOL, 0.5F));
    ASSERT_TRUE(BASS_ChannelPlay(music_, FALSE));
    ASSERT_TRUE(waitForDevice(22050));

    ASSERT_EQ(BASS_ChannelGetData(music_, bins, BASS_DATA_FFT2048), 4096U);
    // What is heard is a 0.5 sine at gain 2 x volume 0.5, which reads 0.25 on its bin. 440 Hz
    // lies 0.43 of a bin (21.5 Hz) above bin 20, where the Hann window's response is 0.886, and
    // 0.57 below bin 21 (0.807).
    EXPECT_NEAR(bins[20], 0.25 * 0.886, 0.015);
    EXPECT_NEAR(bins[21], 0.25 * 0.807, 0.015);
    EXPECT_LT(bins[40], 0.01F);

    std::vector<float> wave(2 * 100, 9.0F);
    ASSERT_EQ(BASS_ChannelGetData(music_, wave.data(), 800 | BASS_DATA_FLOAT), 800U);
    EXPECT_LE(testsupport::peak(wave), 0.51);
    EXPECT_GT(testsupport::peak(wave), 0.3);
    for (std::size_t i = 0; i < wave.size(); i += 2)
        EXPECT_EQ(wave[i], wave[i + 1]);
}

TEST_F(LivePlaybackTest, UpdatePeriodZeroStopsRefillingUntilItIsBack) {
    ASSERT_TRUE(BASS_ChannelPlay(music_, FALSE));
    ASSERT_TRUE(waitForDevice(8820));
    ASSERT_TRUE(BASS_SetConfig(BASS_CONFIG_UPDATEPERIOD, 0));
    ASSERT_TRUE(waitForDevice(22050));  // what was rendered ahead runs out
    const double starved = positionSeconds();
    ASSERT_TRUE(waitForDevice(22050));
    EXPECT_EQ(positionSeconds(), starved);
    ASSERT_TRUE(BASS_SetConfig(BASS_CONFIG_UPDATEPERIOD, 1));
    EXPECT_EQ(BASS_GetConfig(BASS_CONFIG_UPDATEPERIOD), 1U);
    ASSERT_TRUE(waitForDevice(22050));
    EXPECT_GT(positionSeconds(), starved + 0.3);
}

TEST_F(LivePlaybackTest, FreeingAPlayingStreamStopsItAtOnce) {
    ASSERT_TRUE(BASS_ChannelPlay(music_, FALSE));
    ASSERT_TRUE(waitForDevice(4410));
    ASSERT_TRUE(BASS_StreamFree(music_));
    EXPECT_EQ(BASS_ChannelIsActive(music_), BASS_ACTIVE_STOPPED);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    EXPECT_TRUE(waitUntilResting());  // nothing else plays
}

TEST_F(LivePlaybackTest, DecodingStreamsCannotBePlayed) {
    const HSTREAM decoding = makeTempoStream(path_, BASS_SAMPLE_FLOAT, BASS_STREAM_DECODE);
    EXPECT_FALSE(BASS_ChannelPlay(decoding, FALSE));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_DECODE);
    EXPECT_FALSE(BASS_ChannelPause(music_));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_NOPLAY);
}

}  // namespace
