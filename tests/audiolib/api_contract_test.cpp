// The C surface's rules: failures change nothing and say why, handles are never reused, freeing a
// device frees what was made on it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <future>
#include <limits>
#include <thread>
#include <tuple>

#include "AudiolibTestSupport.h"

namespace {

using audiolibtest::makeTempoStream;

class ApiContractTest : public audiolibtest::NoSoundTest {
  protected:
    void SetUp() override {
        NoSoundTest::SetUp();
        path_ = writeFixture("sine.wav", testsupport::sine(440.0, 1.0, 44100, 2), 44100, 2);
    }
    std::string path_;
};

TEST_F(ApiContractTest, InvalidTempoPitchAndRateAreRefusedAndChangeNothing) {
    const HSTREAM tempo = makeTempoStream(path_, BASS_SAMPLE_FLOAT, 0);
    ASSERT_NE(tempo, 0U);
    ASSERT_TRUE(BASS_ChannelSetAttribute(tempo, BASS_ATTRIB_TEMPO, 10.0F));
    ASSERT_TRUE(BASS_ChannelSetAttribute(tempo, BASS_ATTRIB_TEMPO_PITCH, 3.0F));
    ASSERT_TRUE(BASS_ChannelSetAttribute(tempo, BASS_ATTRIB_FREQ, 48000.0F));
    ASSERT_TRUE(BASS_ChannelSetAttribute(tempo, BASS_ATTRIB_VOL, 0.75F));
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const struct {
        DWORD attribute;
        float value;
    } refused[] = {
        {BASS_ATTRIB_FREQ, 0.0F},
        {BASS_ATTRIB_FREQ, -44100.0F},
        {BASS_ATTRIB_FREQ, nan},
        {BASS_ATTRIB_FREQ, inf},
        {BASS_ATTRIB_FREQ, 1.0F},
        {BASS_ATTRIB_TEMPO, -96.0F},
        {BASS_ATTRIB_TEMPO, 5001.0F},
        {BASS_ATTRIB_TEMPO, nan},
        {BASS_ATTRIB_TEMPO, -inf},
        {BASS_ATTRIB_TEMPO_PITCH, 61.0F},
        {BASS_ATTRIB_TEMPO_PITCH, -61.0F},
        {BASS_ATTRIB_TEMPO_PITCH, nan},
        {BASS_ATTRIB_VOL, -0.1F},
        {BASS_ATTRIB_VOL, nan},
        {BASS_ATTRIB_VOL, inf},
    };
    for (const auto& [attribute, value] : refused) {
        EXPECT_FALSE(BASS_ChannelSetAttribute(tempo, attribute, value))
            << attribute << " " << value;
        EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM) << attribute << " " << value;
    }
    float value = 0.0F;
    ASSERT_TRUE(BASS_ChannelGetAttribute(tempo, BASS_ATTRIB_TEMPO, &value));
    EXPECT_EQ(value, 10.0F);
    ASSERT_TRUE(BASS_ChannelGetAttribute(tempo, BASS_ATTRIB_TEMPO_PITCH, &value));
    EXPECT_EQ(value, 3.0F);
    ASSERT_TRUE(BASS_ChannelGetAttribute(tempo, BASS_ATTRIB_FREQ, &value));
    EXPECT_EQ(value, 48000.0F);
    ASSERT_TRUE(BASS_ChannelGetAttribute(tempo, BASS_ATTRIB_VOL, &value));
    EXPECT_EQ(value, 0.75F);
    EXPECT_NEAR(BASS_FX_TempoGetRateRatio(tempo), 1.1F * 48000.0F / 44100.0F, 1e-5F);
    // The extremes themselves are allowed.
    EXPECT_TRUE(BASS_ChannelSetAttribute(tempo, BASS_ATTRIB_TEMPO, -95.0F));
    EXPECT_TRUE(BASS_ChannelSetAttribute(tempo, BASS_ATTRIB_TEMPO_PITCH, -60.0F));
    EXPECT_FALSE(BASS_ChannelSetAttribute(tempo, 0x777, 1.0F));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLTYPE);
}

TEST_F(ApiContractTest, FreshTempoStreamIsNeutralAndStoppedAtZero) {
    const HSTREAM tempo = makeTempoStream(path_, BASS_SAMPLE_FLOAT, BASS_SAMPLE_LOOP);
    float value = -1.0F;
    ASSERT_TRUE(BASS_ChannelGetAttribute(tempo, BASS_ATTRIB_TEMPO, &value));
    EXPECT_EQ(value, 0.0F);
    ASSERT_TRUE(BASS_ChannelGetAttribute(tempo, BASS_ATTRIB_FREQ, &value));
    EXPECT_EQ(value, 44100.0F);
    EXPECT_EQ(BASS_FX_TempoGetRateRatio(tempo), 1.0F);
    EXPECT_EQ(BASS_ChannelIsActive(tempo), BASS_ACTIVE_STOPPED);
    EXPECT_EQ(BASS_ChannelGetPosition(tempo, BASS_POS_BYTE), 0U);
    // Float stereo: 8 bytes a frame, one second long.
    EXPECT_EQ(BASS_ChannelGetLength(tempo, BASS_POS_BYTE), 44100U * 8U);
    EXPECT_DOUBLE_EQ(BASS_ChannelBytes2Seconds(tempo, 44100U * 8U), 1.0);
    EXPECT_EQ(BASS_ChannelSeconds2Bytes(tempo, 0.5), 22050U * 8U);
    BASS_CHANNELINFO info{};
    ASSERT_TRUE(BASS_ChannelGetInfo(tempo, &info));
    EXPECT_EQ(info.freq, 44100U);
    EXPECT_EQ(info.chans, 2U);
    EXPECT_STREQ(info.filename, path_.c_str());
}

TEST_F(ApiContractTest, SixteenBitStreamsCountTwoBytesPerSample) {
    const HSTREAM tempo = makeTempoStream(path_, BASS_STREAM_PRESCAN, BASS_STREAM_DECODE);
    ASSERT_NE(tempo, 0U);
    EXPECT_EQ(BASS_ChannelGetLength(tempo, BASS_POS_BYTE), 44100U * 4U);
    EXPECT_TRUE(BASS_ChannelSetPosition(tempo, 22050U * 4U, BASS_POS_BYTE));
    EXPECT_EQ(BASS_ChannelGetPosition(tempo, BASS_POS_BYTE), 22050U * 4U);
    EXPECT_FALSE(BASS_ChannelSetPosition(tempo, 44101U * 4U, BASS_POS_BYTE));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_POSITION);
    EXPECT_EQ(BASS_ChannelGetPosition(tempo, BASS_POS_BYTE), 22050U * 4U);
}

TEST_F(ApiContractTest, InvalidHandlesFailWithHandleError) {
    const DWORD bogus = 0xdeadbeef;
    float value = 0.0F;
    EXPECT_FALSE(BASS_ChannelPlay(bogus, FALSE));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    EXPECT_FALSE(BASS_ChannelGetAttribute(bogus, BASS_ATTRIB_VOL, &value));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    EXPECT_EQ(BASS_ChannelGetPosition(bogus, BASS_POS_BYTE), static_cast<QWORD>(-1));
    EXPECT_EQ(BASS_ChannelBytes2Seconds(bogus, 100), -1.0);
    EXPECT_EQ(BASS_FX_TempoGetRateRatio(bogus), 0.0F);
    EXPECT_EQ(BASS_ChannelSetFX(bogus, BASS_FX_BFX_VOLUME, 1), 0U);
    EXPECT_FALSE(BASS_StreamFree(bogus));
    EXPECT_FALSE(BASS_MusicFree(bogus));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    EXPECT_FALSE(BASS_StreamFree(0));
    // Success clears the error again.
    EXPECT_EQ(BASS_GetVersion() >> 16, 0x0204U);
    const HSTREAM tempo = makeTempoStream(path_, BASS_SAMPLE_FLOAT, 0);
    ASSERT_TRUE(BASS_ChannelGetAttribute(tempo, BASS_ATTRIB_VOL, &value));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_OK);
}

TEST_F(ApiContractTest, FreedHandlesAreDeadAndNeverReused) {
    const HSTREAM first = makeTempoStream(path_, BASS_SAMPLE_FLOAT, 0);
    ASSERT_NE(first, 0U);
    const HSTREAM source = first - 1;  // made just before it
    ASSERT_TRUE(BASS_StreamFree(first));
    EXPECT_FALSE(BASS_ChannelIsActive(first) == BASS_ACTIVE_PLAYING);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    // Freeing the tempo stream took its source along.
    EXPECT_EQ(BASS_ChannelGetLength(source, BASS_POS_BYTE), static_cast<QWORD>(-1));
    EXPECT_FALSE(BASS_StreamFree(first));
    const HSTREAM second = makeTempoStream(path_, BASS_SAMPLE_FLOAT, 0);
    EXPECT_NE(second, 0U);
    EXPECT_NE(second, first);
    EXPECT_NE(second, source);
}

TEST_F(ApiContractTest, ASourceServesOneTempoStreamOnly) {
    const HSTREAM source =
        BASS_StreamCreateFile(FALSE, path_.c_str(), 0, 0, BASS_STREAM_DECODE | BASS_SAMPLE_FLOAT);
    ASSERT_NE(BASS_FX_TempoCreate(source, BASS_FX_FREESOURCE), 0U);
    EXPECT_EQ(BASS_FX_TempoCreate(source, BASS_FX_FREESOURCE), 0U);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ALREADY);
    EXPECT_FALSE(BASS_StreamFree(source));  // it belongs to its tempo stream now

    const HSTREAM playable = BASS_StreamCreateFile(FALSE, path_.c_str(), 0, 0, 0);
    ASSERT_NE(playable, 0U);
    EXPECT_EQ(BASS_FX_TempoCreate(playable, 0), 0U);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_DECODE);
}

TEST_F(ApiContractTest, FilesThatCannotBeOpenedSayWhy) {
    EXPECT_EQ(BASS_StreamCreateFile(FALSE, dir_.file("missing.wav").c_str(), 0, 0, 0), 0U);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEOPEN);
    const std::string text = dir_.file("notes.mp3");
    FILE* file = std::fopen(text.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fputs("this is not audio at all, just some words in a file\n", file);
    std::fclose(file);
    EXPECT_EQ(BASS_StreamCreateFile(FALSE, text.c_str(), 0, 0, BASS_STREAM_DECODE), 0U);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEFORM);
    EXPECT_EQ(BASS_StreamCreateFile(FALSE, nullptr, 0, 0, 0), 0U);
    EXPECT_EQ(BASS_StreamCreateFile(FALSE, path_.c_str(), 10, 0, 0), 0U);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
    EXPECT_EQ(BASS_SampleLoad(FALSE, dir_.file("missing.wav").c_str(), 0, 0, 1, 0), 0U);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEOPEN);
}

// A FIFO cannot be decoded, and telling "cannot open" from "not audio" must not open it in the
// blocking way (which waits for a writer for ever). The calls run on another thread so that a
// hang becomes a failure: a writer is then opened to release them.
TEST_F(ApiContractTest, FifoIsRefusedAsUnopenableWithoutWaitingForAWriter) {
    const std::string fifo = dir_.file("pipe.wav");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    auto refusals = std::async(std::launch::async, [&fifo] {
        BASS_SetDevice(0);
        const HSTREAM stream = BASS_StreamCreateFile(FALSE, fifo.c_str(), 0, 0, 0);
        const int streamError = BASS_ErrorGetCode();
        const HSAMPLE sample = BASS_SampleLoad(FALSE, fifo.c_str(), 0, 0, 1, 0);
        return std::make_tuple(stream, streamError, sample, BASS_ErrorGetCode());
    });
    if (refusals.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
        ADD_FAILURE() << "opening a FIFO blocked";
        for (int i = 0; i < 4; ++i) {
            const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
            if (writer >= 0) {
                ::close(writer);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    const auto [stream, streamError, sample, sampleError] = refusals.get();
    EXPECT_EQ(stream, 0U);
    EXPECT_EQ(streamError, BASS_ERROR_FILEOPEN);
    EXPECT_EQ(sample, 0U);
    EXPECT_EQ(sampleError, BASS_ERROR_FILEOPEN);
}

TEST_F(ApiContractTest, OnlyTheGainEffectExists) {
    const HSTREAM tempo = makeTempoStream(path_, BASS_SAMPLE_FLOAT, 0);
    EXPECT_EQ(BASS_ChannelSetFX(tempo, 0x10004, 1), 0U);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLTYPE);
    const HFX fx = BASS_ChannelSetFX(tempo, BASS_FX_BFX_VOLUME, 1);
    ASSERT_NE(fx, 0U);
    BASS_BFX_VOLUME params{};
    ASSERT_TRUE(BASS_FXGetParameters(fx, &params));
    EXPECT_EQ(params.lChannel, BASS_BFX_CHANALL);
    EXPECT_EQ(params.fVolume, 1.0F);
    const BASS_BFX_VOLUME badChannel{3, 2.0F};  // the stream has two
    EXPECT_FALSE(BASS_FXSetParameters(fx, &badChannel));
    const BASS_BFX_VOLUME badGain{BASS_BFX_CHANALL, std::numeric_limits<float>::infinity()};
    EXPECT_FALSE(BASS_FXSetParameters(fx, &badGain));
    ASSERT_TRUE(BASS_FXGetParameters(fx, &params));
    EXPECT_EQ(params.fVolume, 1.0F);
    EXPECT_TRUE(BASS_ChannelRemoveFX(tempo, fx));
    EXPECT_FALSE(BASS_FXGetParameters(fx, &params));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
}

TEST_F(ApiContractTest, ErrorCodesHaveTexts) {
    for (int code : {BASS_OK, BASS_ERROR_MEM, BASS_ERROR_FILEOPEN, BASS_ERROR_DRIVER,
                     BASS_ERROR_HANDLE, BASS_ERROR_ILLPARAM, BASS_ERROR_CREATE, 12345}) {
        ASSERT_NE(BASS_ErrorGetText(code), nullptr);
        EXPECT_GT(std::string(BASS_ErrorGetText(code)).size(), 3U);
    }
}

}  // namespace
