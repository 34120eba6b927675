// Encoders tapping a decoding channel: every pulled block reaches the file, failures are clean.
#include <cmath>

#include "AudiolibTestSupport.h"

namespace {

using audiolibtest::makeTempoStream;

class EncodeTapTest : public audiolibtest::NoSoundTest {
  protected:
    void SetUp() override {
        NoSoundTest::SetUp();
        path_ = writeFixture("sine.wav", testsupport::sine(440.0, 2.0, 44100, 2, 0.5F), 44100, 2);
    }

    // The export's loop: pull 20000-byte blocks until the stream stops or the encoder dies.
    static int exportLoop(HSTREAM stream) {
        std::vector<char> block(20000);
        int blocks = 0;
        while (BASS_ChannelIsActive(stream) != BASS_ACTIVE_STOPPED && blocks < 100000) {
            BASS_ChannelGetData(stream, block.data(), 20000);
            ++blocks;
            if (!BASS_Encode_IsActive(stream))
                break;
        }
        return blocks;
    }

    std::string path_;
};

TEST_F(EncodeTapTest, WavThroughASlowedTempoStreamHasTheStretchedLength) {
    const HSTREAM tempo = makeTempoStream(path_, BASS_STREAM_PRESCAN, BASS_STREAM_DECODE);
    ASSERT_TRUE(BASS_ChannelSetAttribute(tempo, BASS_ATTRIB_TEMPO, -25.0F));
    const std::string out = dir_.file("slow.wav");
    const HENCODE encoder =
        BASS_Encode_Start(tempo, out.c_str(), BASS_ENCODE_PCM, nullptr, nullptr);
    ASSERT_NE(encoder, 0U) << BASS_ErrorGetCode();
    EXPECT_EQ(BASS_Encode_IsActive(encoder), BASS_ACTIVE_PLAYING);
    exportLoop(tempo);
    EXPECT_EQ(BASS_ChannelIsActive(tempo), BASS_ACTIVE_STOPPED);
    EXPECT_EQ(BASS_ChannelGetPosition(tempo, BASS_POS_BYTE), BASS_ChannelGetLength(tempo, 0));
    ASSERT_TRUE(BASS_Encode_Stop(tempo));
    EXPECT_EQ(BASS_Encode_IsActive(encoder), 0U);

    std::vector<float> written;
    int channels = 0;
    ASSERT_TRUE(testsupport::decodeFile(out, &written, nullptr, &channels));
    EXPECT_EQ(channels, 2);
    const double expected = 2.0 * 44100 * 4.0 / 3.0;
    EXPECT_NEAR(written.size() / 2.0, expected, expected * 0.005);
    EXPECT_NEAR(testsupport::dominantFrequency(testsupport::channelOf(written, 2, 0), 44100), 440.0,
                2.2);
}

TEST_F(EncodeTapTest, FileGetsTheSixteenBitSamplesTheCallerGets) {
    const HSTREAM stream = BASS_StreamCreateFile(FALSE, path_.c_str(), 0, 0, BASS_STREAM_DECODE);
    const HFX fx = BASS_ChannelSetFX(stream, BASS_FX_BFX_VOLUME, 1);
    const BASS_BFX_VOLUME gain{BASS_BFX_CHANALL, 3.0F};  // 1.5: beyond full scale
    ASSERT_TRUE(BASS_FXSetParameters(fx, &gain));
    const std::string out = dir_.file("loud.wav");
    ASSERT_NE(BASS_Encode_Start(stream, out.c_str(), BASS_ENCODE_PCM, nullptr, nullptr), 0U);
    std::vector<std::int16_t> pulled(2 * 44100);
    ASSERT_EQ(BASS_ChannelGetData(stream, pulled.data(), 4 * 44100), 4U * 44100);
    ASSERT_TRUE(BASS_Encode_Stop(stream));
    std::vector<float> written;
    ASSERT_TRUE(testsupport::decodeFile(out, &written));
    ASSERT_EQ(written.size(), pulled.size());
    // Encoder and channel data quantise alike, so the file holds exactly what was pulled.
    for (std::size_t i = 0; i < pulled.size(); ++i) {
        ASSERT_EQ(written[i], pulled[i] / 32768.0F) << i;
    }
    EXPECT_EQ(*std::max_element(pulled.begin(), pulled.end()), 32767);
    EXPECT_EQ(*std::min_element(pulled.begin(), pulled.end()), -32768);
}

TEST_F(EncodeTapTest, AFileThatCannotBeCreatedStartsNoEncoder) {
    const HSTREAM tempo = makeTempoStream(path_, 0, BASS_STREAM_DECODE);
    const std::string out = dir_.file("missing/folder/out.wav");
    EXPECT_EQ(BASS_Encode_Start(tempo, out.c_str(), BASS_ENCODE_PCM, nullptr, nullptr), 0U);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_CREATE);
    EXPECT_EQ(
        BASS_Encode_StartCAFile(tempo, BASS_CA_FILE_M4A, BASS_CA_CODEC_ALAC, 0, 0, out.c_str()),
        0U);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_CREATE);
    // The export then sees a dead encoder after its first block, and no file appears.
    EXPECT_EQ(exportLoop(tempo), 1);
    EXPECT_EQ(BASS_Encode_IsActive(tempo), 0U);
    EXPECT_FALSE(BASS_Encode_Stop(tempo));
    EXPECT_EQ(std::fopen(out.c_str(), "rb"), nullptr);
}

TEST_F(EncodeTapTest, AFullDiskKillsTheEncoderInsteadOfPretending) {
    const HSTREAM tempo = makeTempoStream(path_, 0, BASS_STREAM_DECODE);
    if (BASS_Encode_Start(tempo, "/dev/full", BASS_ENCODE_PCM, nullptr, nullptr) == 0) {
        GTEST_SKIP() << "/dev/full cannot be opened here";
    }
    const int blocks = exportLoop(tempo);
    EXPECT_EQ(BASS_Encode_IsActive(tempo), 0U);
    EXPECT_LT(blocks, 20);  // stopped early, long before the 2 s of audio were rendered
    EXPECT_NE(BASS_ChannelIsActive(tempo), BASS_ACTIVE_STOPPED);
}

TEST_F(EncodeTapTest, OnlyKnownContainerAndCodecPairsAreAccepted) {
    const HSTREAM tempo = makeTempoStream(path_, 0, BASS_STREAM_DECODE);
    const std::string out = dir_.file("out.m4a");
    EXPECT_EQ(
        BASS_Encode_StartCAFile(tempo, BASS_CA_FILE_MP4, BASS_CA_CODEC_ALAC, 0, 0, out.c_str()),
        0U);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_CODEC);
    EXPECT_EQ(BASS_Encode_StartCAFile(tempo, BASS_FOURCC('W', 'A', 'V', 'E'), BASS_CA_CODEC_AAC, 0,
                                      0, out.c_str()),
              0U);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLTYPE);
    EXPECT_EQ(BASS_Encode_Start(tempo, out.c_str(), 0, nullptr, nullptr), 0U);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLTYPE);
    const HSTREAM playable = BASS_StreamCreateFile(FALSE, path_.c_str(), 0, 0, 0);
    EXPECT_EQ(BASS_Encode_Start(playable, out.c_str(), BASS_ENCODE_PCM, nullptr, nullptr), 0U);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_DECODE);
}

TEST_F(EncodeTapTest, AppleLosslessKeepsEveryFrame) {
    const HSTREAM tempo = makeTempoStream(path_, 0, BASS_STREAM_DECODE);
    ASSERT_TRUE(BASS_ChannelSetAttribute(tempo, BASS_ATTRIB_TEMPO_PITCH, 2.0F));
    const std::string out = dir_.file("pitched.m4a");
    ASSERT_NE(
        BASS_Encode_StartCAFile(tempo, BASS_CA_FILE_M4A, BASS_CA_CODEC_ALAC, 0, 0, out.c_str()), 0U)
        << BASS_ErrorGetCode();
    std::vector<float> pulled;
    std::vector<std::int16_t> block(5000);
    while (BASS_ChannelIsActive(tempo) != BASS_ACTIVE_STOPPED) {
        const DWORD got = BASS_ChannelGetData(tempo, block.data(), 10000);
        if (got == static_cast<DWORD>(-1))
            break;
        for (DWORD i = 0; i < got / 2; ++i)
            pulled.push_back(block[i] / 32768.0F);
    }
    ASSERT_TRUE(BASS_Encode_Stop(tempo));
    std::vector<float> written;
    ASSERT_TRUE(testsupport::decodeFile(out, &written));
    ASSERT_EQ(written.size(), pulled.size());
    for (std::size_t i = 0; i < pulled.size(); ++i) {
        ASSERT_EQ(written[i], pulled[i]) << i;  // lossless, and quantised alike
    }
}

}  // namespace
