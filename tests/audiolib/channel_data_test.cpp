// Data pulled from decoding channels: sample order, 16-bit conversion and the spectrum's scale.
#include <cmath>
#include <cstdint>
#include <numbers>

#include "AudiolibTestSupport.h"
#include "audiolib/dsp/SpectrumAnalyzer.h"

namespace {

using audiolibtest::makeTempoStream;

using testsupport::kRate;

// Left rises from 0 in steps of 1/65536, right is its negative: order mistakes are obvious.
std::vector<float> ramps(int frames) {
    std::vector<float> out(static_cast<std::size_t>(frames) * 2);
    for (int i = 0; i < frames; ++i) {
        out[2 * i] = static_cast<float>(i) / 65536.0F;
        out[2 * i + 1] = -static_cast<float>(i) / 65536.0F;
    }
    return out;
}

std::vector<float> sineAt(double hz, int frames, float amplitude) {
    std::vector<float> out(frames);
    for (int i = 0; i < frames; ++i) {
        out[i] = amplitude * static_cast<float>(std::sin(2.0 * std::numbers::pi * hz * i / kRate));
    }
    return out;
}

class ChannelDataTest : public audiolibtest::NoSoundTest {
  protected:
    std::string floatWav(const std::string& name, const std::vector<float>& frames, int channels) {
        const std::string path = dir_.file(name);
        EXPECT_TRUE(testsupport::writeWav(path, frames, kRate, channels,
                                          testsupport::WavSampleFormat::Float32));
        return path;
    }
};

TEST_F(ChannelDataTest, FloatDataIsInterleavedFrameByFrame) {
    const auto source = ramps(4000);
    const std::string path = floatWav("ramps.wav", source, 2);
    const HSTREAM stream =
        BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, BASS_STREAM_DECODE | BASS_SAMPLE_FLOAT);
    std::vector<float> got(200);
    ASSERT_EQ(BASS_ChannelGetData(stream, got.data(), 800 | BASS_DATA_FLOAT), 800U);
    for (std::size_t i = 0; i < got.size(); ++i)
        ASSERT_EQ(got[i], source[i]) << i;
    // Reading goes on where it stopped; a length that is not whole frames is cut to whole frames.
    ASSERT_EQ(BASS_ChannelGetData(stream, got.data(), 805 | BASS_DATA_FLOAT), 800U);
    EXPECT_EQ(got[0], source[200]);
    EXPECT_EQ(BASS_ChannelGetPosition(stream, BASS_POS_BYTE), 200U * 8U);
}

TEST_F(ChannelDataTest, SixteenBitDataSaturatesInsteadOfWrapping) {
    std::vector<float> loud(2000);
    for (std::size_t i = 0; i < loud.size(); ++i)
        loud[i] = (i / 2) % 2 ? -0.9F : 0.9F;
    const std::string path = floatWav("loud.wav", loud, 2);
    const HSTREAM stream = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, BASS_STREAM_DECODE);
    const HFX fx = BASS_ChannelSetFX(stream, BASS_FX_BFX_VOLUME, 1);
    const BASS_BFX_VOLUME gain{BASS_BFX_CHANALL, 2.0F};
    ASSERT_TRUE(BASS_FXSetParameters(fx, &gain));
    std::vector<std::int16_t> got(2000);
    ASSERT_EQ(BASS_ChannelGetData(stream, got.data(), 4000), 4000U);
    for (std::size_t i = 0; i < got.size(); ++i) {
        ASSERT_EQ(got[i], (i / 2) % 2 ? -32768 : 32767) << i;
    }
}

TEST_F(ChannelDataTest, ReadingPastTheEndReportsTheEnd) {
    const std::string path = floatWav("short.wav", ramps(100), 2);
    const HSTREAM stream =
        BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, BASS_STREAM_DECODE | BASS_SAMPLE_FLOAT);
    std::vector<float> got(1000);
    EXPECT_EQ(BASS_ChannelIsActive(stream), BASS_ACTIVE_PLAYING);
    EXPECT_EQ(BASS_ChannelGetData(stream, got.data(), 4000), 800U);
    EXPECT_EQ(BASS_ChannelIsActive(stream), BASS_ACTIVE_STOPPED);
    EXPECT_EQ(BASS_ChannelGetData(stream, got.data(), 4000), static_cast<DWORD>(-1));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ENDED);
    // Seeking back brings it to life again.
    ASSERT_TRUE(BASS_ChannelSetPosition(stream, 0, BASS_POS_BYTE));
    EXPECT_EQ(BASS_ChannelIsActive(stream), BASS_ACTIVE_PLAYING);
}

TEST_F(ChannelDataTest, UnknownDataFlagsAreRefused) {
    const std::string path = floatWav("short.wav", ramps(100), 2);
    const HSTREAM stream = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, BASS_STREAM_DECODE);
    float bins[1024];
    EXPECT_EQ(BASS_ChannelGetData(stream, bins, 0x80000004), static_cast<DWORD>(-1));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLTYPE);
    EXPECT_EQ(BASS_ChannelGetData(stream, nullptr, 100), static_cast<DWORD>(-1));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
    EXPECT_EQ(BASS_ChannelGetPosition(stream, BASS_POS_BYTE), 0U);
}

// A sine centred on bin k of a 2048-point transform.
double binFrequency(int k) {
    return k * static_cast<double>(kRate) / 2048.0;
}

TEST(SpectrumAnalyzerTest, FullScaleSineReadsOneHalfInItsBin) {
    audiolib::SpectrumAnalyzer analyzer;
    ASSERT_TRUE(analyzer.valid());
    for (int k : {5, 20, 300, 1000}) {
        const auto signal = sineAt(binFrequency(k), 2048, 1.0F);
        std::vector<float> bins(1024);
        analyzer.magnitudes(signal.data(), bins.data());
        EXPECT_NEAR(bins[k], 0.5, 0.005) << k;
        // The Hann window spreads into the two neighbours at half height, and no further.
        EXPECT_NEAR(bins[k - 1], 0.25, 0.005) << k;
        EXPECT_NEAR(bins[k + 1], 0.25, 0.005) << k;
        EXPECT_LT(bins[k + 3], 0.001) << k;
        EXPECT_LT(bins[0], 0.001) << k;
    }
}

TEST(SpectrumAnalyzerTest, ConstantLevelShowsInTheDcBin) {
    audiolib::SpectrumAnalyzer analyzer;
    std::vector<float> level(2048, 0.5F);
    std::vector<float> bins(1024);
    analyzer.magnitudes(level.data(), bins.data());
    EXPECT_NEAR(bins[0], 0.5, 0.001);  // sum(0.5 x Hann) x 2 / N = 0.5
    EXPECT_LT(bins[2], 0.001);
}

TEST_F(ChannelDataTest, SpectrumOfADecodingChannelConsumesOneTransformOfFrames) {
    const auto mono = sineAt(binFrequency(40), 8192, 0.8F);
    std::vector<float> stereo(mono.size() * 2);
    for (std::size_t i = 0; i < mono.size(); ++i)
        stereo[2 * i] = stereo[2 * i + 1] = mono[i];
    const std::string path = floatWav("bin40.wav", stereo, 2);
    const HSTREAM stream = makeTempoStream(path, BASS_SAMPLE_FLOAT, BASS_STREAM_DECODE);
    std::vector<float> throwaway(2 * 4096);
    BASS_ChannelGetData(stream, throwaway.data(), 4096 * 8 | BASS_DATA_FLOAT);  // past the start
    float bins[1024] = {};
    ASSERT_EQ(BASS_ChannelGetData(stream, bins, BASS_DATA_FFT2048), 4096U);
    EXPECT_EQ(std::max_element(bins, bins + 1024) - bins, 40);
    EXPECT_NEAR(bins[40], 0.4, 0.02);
    EXPECT_NEAR(BASS_ChannelGetPosition(stream, BASS_POS_BYTE) / 8.0, 4096 + 2048, 64);
}

}  // namespace
