// Devices: the no-sound device, SDL outputs, per-thread selection, and what freeing a device
// takes with it.
#include <csignal>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>

#include "AudiolibTestSupport.h"

namespace {

using audiolibtest::DeviceScope;

// Sets an environment variable for a scope.
class EnvScope {
  public:
    EnvScope(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name))
            old_ = old;
        setenv(name, value, 1);
    }
    ~EnvScope() {
        if (old_) {
            setenv(name_, old_->c_str(), 1);
        } else {
            unsetenv(name_);
        }
    }

  private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST(DeviceTest, NoSoundDeviceWorksWithoutAnySoundSystem) {
    EnvScope driver("SDL_AUDIODRIVER", "nonexistent");
    DeviceScope device(0);
    ASSERT_TRUE(device.ok()) << BASS_ErrorGetCode();
    EXPECT_EQ(BASS_GetDevice(), 0U);
    BASS_INFO info{};
    ASSERT_TRUE(BASS_GetInfo(&info));
    EXPECT_EQ(info.freq, 44100U);
    EXPECT_EQ(BASS_GetVolume(), 1.0F);
    EXPECT_FALSE(BASS_Init(0, 44100, 0, nullptr, nullptr));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ALREADY);
}

TEST(DeviceTest, WithoutASoundCardInitFailsCleanlyAndLaterCallsToo) {
    EnvScope driver("SDL_AUDIODRIVER", "nonexistent");
    EXPECT_FALSE(BASS_Init(-1, 44100, 0, nullptr, nullptr));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_DRIVER);
    BASS_DEVICEINFO info{};
    EXPECT_FALSE(BASS_GetDeviceInfo(1, &info));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_DEVICE);
    // Nothing is open for this thread: everything that needs a device says so.
    std::thread([] {
        EXPECT_FALSE(BASS_SetDevice(1));
        EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_INIT);
        EXPECT_EQ(BASS_StreamCreateFile(FALSE, "/nonexistent.wav", 0, 0, 0), 0U);
        EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_INIT);
        EXPECT_EQ(BASS_SampleLoad(FALSE, "/nonexistent.wav", 0, 0, 1, 0), 0U);
        EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_INIT);
        BASS_INFO deviceInfo{};
        EXPECT_FALSE(BASS_GetInfo(&deviceInfo));
        EXPECT_EQ(BASS_GetVolume(), -1.0F);
        EXPECT_FALSE(BASS_Free());
        EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_INIT);
    }).join();
}

TEST(DeviceTest, DeviceListStartsWithTheDefaultAndEnds) {
    BASS_DEVICEINFO info{};
    if (!BASS_GetDeviceInfo(1, &info))
        GTEST_SKIP() << "no SDL audio driver here";
    EXPECT_STREQ(info.name, "Default");
    EXPECT_EQ(info.flags & (BASS_DEVICE_ENABLED | BASS_DEVICE_DEFAULT),
              BASS_DEVICE_ENABLED | BASS_DEVICE_DEFAULT);
    const char* firstName = info.name;
    int count = 1;
    while (BASS_GetDeviceInfo(count + 1, &info)) {
        EXPECT_EQ(info.flags & BASS_DEVICE_DEFAULT, 0U);
        ASSERT_LT(++count, 1000);
    }
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_DEVICE);
    EXPECT_FALSE(BASS_GetDeviceInfo(0, &info));
    // Names stay valid: asking again hands out the same text.
    ASSERT_TRUE(BASS_GetDeviceInfo(1, &info));
    EXPECT_EQ(info.name, firstName);
}

// An open output must leave SIGTERM to the program: otherwise `kill` and a logout cannot end it.
TEST(DeviceTest, OpeningTheOutputLeavesTerminationSignalsAlone) {
    DeviceScope output(-1);
    ASSERT_TRUE(output.ok());
    for (int signal : {SIGTERM, SIGINT}) {
        struct sigaction action {};
        ASSERT_EQ(::sigaction(signal, nullptr, &action), 0);
        EXPECT_EQ(action.sa_handler, SIG_DFL) << "signal " << signal;
    }
}

TEST(DeviceTest, RealAndNoSoundDevicesLiveSideBySidePerThread) {
    DeviceScope output(-1);
    if (!output.ok())
        GTEST_SKIP() << "no SDL output (set SDL_AUDIODRIVER=dummy)";
    EXPECT_EQ(BASS_GetDevice(), 1U);
    BASS_INFO info{};
    ASSERT_TRUE(BASS_GetInfo(&info));
    EXPECT_EQ(info.freq, 44100U);
    EXPECT_GT(info.latency, 0U);
    EXPECT_LT(info.latency, 200U);
    BASS_DEVICEINFO deviceInfo{};
    ASSERT_TRUE(BASS_GetDeviceInfo(1, &deviceInfo));
    EXPECT_NE(deviceInfo.flags & BASS_DEVICE_INIT, 0U);
    EXPECT_FALSE(BASS_Init(1, 44100, 0, nullptr, nullptr));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ALREADY);

    testsupport::TempDir dir;
    const std::string path = dir.file("sine.wav");
    ASSERT_TRUE(
        testsupport::writeAudioFile(path, testsupport::sine(440.0, 0.5, 44100, 2), 44100, 2));
    const HSTREAM live = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, 0);
    ASSERT_NE(live, 0U);

    // The export's pattern: another thread opens the no-sound device, works on it and frees it.
    std::thread([&] {
        ASSERT_TRUE(BASS_Init(0, 44100, 0, nullptr, nullptr));
        EXPECT_EQ(BASS_GetDevice(), 0U);
        const HSTREAM offline =
            BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, BASS_STREAM_DECODE);
        EXPECT_NE(offline, 0U);
        EXPECT_TRUE(BASS_Free());
        EXPECT_EQ(BASS_ChannelGetLength(offline, BASS_POS_BYTE), static_cast<QWORD>(-1));
        EXPECT_TRUE(BASS_SetDevice(1));
        EXPECT_EQ(BASS_GetDevice(), 1U);
    }).join();

    // The main thread's device and stream were left alone, and a thread that never chose a
    // device works on the one still open.
    EXPECT_EQ(BASS_GetDevice(), 1U);
    std::thread([] { EXPECT_EQ(BASS_GetDevice(), 1U); }).join();
    EXPECT_EQ(BASS_ChannelGetLength(live, BASS_POS_BYTE), 22050U * 4U);
    EXPECT_FALSE(BASS_SetDevice(0));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_INIT);
}

TEST(DeviceTest, FreeingADeviceFreesEverythingMadeOnIt) {
    testsupport::TempDir dir;
    const std::string path = dir.file("sine.wav");
    ASSERT_TRUE(
        testsupport::writeAudioFile(path, testsupport::sine(440.0, 0.5, 44100, 1), 44100, 1));
    ASSERT_TRUE(BASS_Init(0, 44100, 0, nullptr, nullptr));
    const HSTREAM tempo =
        audiolibtest::makeTempoStream(path, BASS_SAMPLE_FLOAT, BASS_STREAM_DECODE);
    const HFX fx = BASS_ChannelSetFX(tempo, BASS_FX_BFX_VOLUME, 1);
    const HENCODE encoder =
        BASS_Encode_Start(tempo, dir.file("out.wav").c_str(), BASS_ENCODE_PCM, nullptr, nullptr);
    const HSAMPLE sample = BASS_SampleLoad(FALSE, path.c_str(), 0, 0, 1, BASS_SAMPLE_MONO);
    const HCHANNEL channel = BASS_SampleGetChannel(sample, BASS_SAMCHAN_NEW);
    ASSERT_TRUE(tempo && fx && encoder && sample && channel);
    std::vector<float> block(11025);
    ASSERT_EQ(BASS_ChannelGetData(tempo, block.data(), 11025 * 4 | BASS_DATA_FLOAT), 11025U * 4);
    ASSERT_TRUE(BASS_Free());
    EXPECT_EQ(BASS_ChannelIsActive(tempo), BASS_ACTIVE_STOPPED);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    BASS_BFX_VOLUME params{};
    EXPECT_FALSE(BASS_FXGetParameters(fx, &params));
    EXPECT_EQ(BASS_Encode_IsActive(encoder), 0U);
    EXPECT_FALSE(BASS_SampleFree(sample));
    EXPECT_FALSE(BASS_ChannelPlay(channel, TRUE));
    // The encoder's file was finished, not left half-written: all that was pulled is in it.
    std::vector<float> decoded;
    EXPECT_TRUE(testsupport::decodeFile(dir.file("out.wav"), &decoded));
    EXPECT_EQ(decoded.size(), 11025U);
    // And the device can be opened again afresh.
    ASSERT_TRUE(BASS_Init(0, 44100, 0, nullptr, nullptr));
    EXPECT_TRUE(BASS_Free());
}

}  // namespace
