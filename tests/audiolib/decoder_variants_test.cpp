// Sources beyond plain 44.1 kHz stereo: every channel count from mono to 5.1 kept in its order,
// rates from 8 kHz to 192 kHz, and WAV sample formats from 8-bit to 64-bit float.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "audiolib/AudioDecoder.h"
#include "support/AudioFixtures.h"
#include "support/TempHome.h"

namespace {

using audiolib::AudioDecoder;

// Channel c carries a tone of 300 + 150 c Hz, so a swapped or remixed channel shows.
std::vector<float> tonePerChannel(int rate, int channels, double seconds) {
    std::vector<float> out;
    for (int c = 0; c < channels; ++c) {
        const auto tone = testsupport::sine(300.0 + 150.0 * c, seconds, rate, 1, 0.4f);
        out.resize(tone.size() * static_cast<std::size_t>(channels));
        for (std::size_t i = 0; i < tone.size(); ++i) {
            out[i * static_cast<std::size_t>(channels) + static_cast<std::size_t>(c)] = tone[i];
        }
    }
    return out;
}

struct LayoutCase {
    const char* extension;
    int rate;
    int channels;
    int bandLimitedChannel = -1;  // an LFE channel the encoder low-passes: not checked
};

class DecoderChannelLayout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(DecoderChannelLayout, EveryChannelArrivesInItsPlace) {
    const LayoutCase& c = GetParam();
    testsupport::TempDir dir;
    const std::string path = dir.file(std::string("layout.") + c.extension);
    const auto input = tonePerChannel(c.rate, c.channels, 1.5);
    std::string error;
    ASSERT_TRUE(testsupport::writeAudioFile(path, input, c.rate, c.channels, &error)) << error;
    std::vector<float> decoded;
    int rate = 0;
    int channels = 0;
    ASSERT_TRUE(testsupport::decodeFile(path, &decoded, &rate, &channels, &error)) << error;
    EXPECT_EQ(rate, c.rate);
    ASSERT_EQ(channels, c.channels);
    for (int ch = 0; ch < channels; ++ch) {
        if (ch == c.bandLimitedChannel) {
            continue;
        }
        const auto mono = testsupport::channelOf(decoded, channels, ch);
        EXPECT_NEAR(testsupport::dominantFrequency(mono, rate), 300.0 + 150.0 * ch, 1.0)
            << c.extension << " channel " << ch;
    }
}

// AAC is left out of the six-channel cases (it codes the fourth channel of 5.1 as a band-limited
// LFE, like Vorbis, whose LFE is skipped for that reason) and MP3 has at most two channels.
INSTANTIATE_TEST_SUITE_P(Layouts, DecoderChannelLayout,
                         ::testing::Values(LayoutCase{"wav", 44100, 1}, LayoutCase{"wav", 48000, 6},
                                           LayoutCase{"flac", 44100, 6},
                                           LayoutCase{"ogg", 44100, 6, 3},
                                           LayoutCase{"opus", 48000, 6},
                                           LayoutCase{"aif", 44100, 6}, LayoutCase{"mp3", 44100, 1},
                                           LayoutCase{"mp2", 48000, 1}, LayoutCase{"m4a", 44100, 1},
                                           LayoutCase{"ogg", 22050, 1},
                                           LayoutCase{"wav", 44100, 8}),
                         [](const auto& info) {
                             return std::string(info.param.extension) + "_" +
                                    std::to_string(info.param.rate) + "_" +
                                    std::to_string(info.param.channels) + "ch";
                         });

struct RateCase {
    const char* extension;
    int rate;
};

class DecoderSampleRate : public ::testing::TestWithParam<RateCase> {};

TEST_P(DecoderSampleRate, ExtremeRatesKeepRateLengthAndPitch) {
    const RateCase& c = GetParam();
    testsupport::TempDir dir;
    const std::string path = dir.file(std::string("rate.") + c.extension);
    const auto input = testsupport::sine(440.0, 1.25, c.rate, 2, 0.5f);
    std::string error;
    ASSERT_TRUE(testsupport::writeAudioFile(path, input, c.rate, 2, &error)) << error;
    auto decoder = AudioDecoder::open(path, &error);
    ASSERT_TRUE(decoder) << error;
    EXPECT_EQ(decoder->sampleRate(), c.rate);
    // All of these record their delay and padding, so the length is exact.
    EXPECT_EQ(decoder->lengthFrames(), input.size() / 2);
    std::vector<float> decoded;
    ASSERT_TRUE(testsupport::decodeFile(path, &decoded, nullptr, nullptr, &error)) << error;
    EXPECT_EQ(decoded.size(), input.size());
    EXPECT_NEAR(testsupport::dominantFrequency(testsupport::channelOf(decoded, 2, 1), c.rate),
                440.0, 0.5);
}

INSTANTIATE_TEST_SUITE_P(Rates, DecoderSampleRate,
                         ::testing::Values(RateCase{"wav", 8000}, RateCase{"wav", 192000},
                                           RateCase{"flac", 8000}, RateCase{"flac", 192000},
                                           RateCase{"mp3", 8000}, RateCase{"ogg", 8000},
                                           RateCase{"m4a", 8000}, RateCase{"aiff", 192000}),
                         [](const auto& info) {
                             return std::string(info.param.extension) + "_" +
                                    std::to_string(info.param.rate);
                         });

struct DepthCase {
    testsupport::WavSampleFormat format;
    const char* name;
    int bits;
    // Writers scale by 2^(n-1) - 1 so that +1 and -1 are mirror images, readers divide by
    // 2^(n-1): half a step of rounding plus up to one step of scale difference at full scale.
    double tolerance;
};

class DecoderWavDepth : public ::testing::TestWithParam<DepthCase> {};

TEST_P(DecoderWavDepth, SamplesComeBackWithinTheFormatsPrecision) {
    const DepthCase& c = GetParam();
    testsupport::TempDir dir;
    const std::string path = dir.file(std::string("depth_") + c.name + ".wav");
    // Full scale both ways included: the extremes are where a scale error shows first.
    auto input = testsupport::sine(1000.0, 0.5, 44100, 2, 0.9f);
    input[0] = 1.0f;
    input[1] = -1.0f;
    std::string error;
    ASSERT_TRUE(testsupport::writeWav(path, input, 44100, 2, c.format, &error)) << error;
    auto decoder = AudioDecoder::open(path, &error);
    ASSERT_TRUE(decoder) << error;
    EXPECT_EQ(decoder->sourceBits(), c.bits);
    std::vector<float> decoded;
    ASSERT_TRUE(testsupport::decodeFile(path, &decoded, nullptr, nullptr, &error)) << error;
    ASSERT_EQ(decoded.size(), input.size());
    double worst = 0.0;
    for (std::size_t i = 0; i < input.size(); ++i) {
        worst = std::max(worst, std::fabs(static_cast<double>(decoded[i]) - input[i]));
    }
    EXPECT_LE(worst, c.tolerance) << c.name;
    EXPECT_LE(testsupport::peak(decoded), 1.0);
}

INSTANTIATE_TEST_SUITE_P(
    Depths, DecoderWavDepth,
    ::testing::Values(DepthCase{testsupport::WavSampleFormat::U8, "u8", 8, 1.5 / 128},
                      DepthCase{testsupport::WavSampleFormat::S16, "s16", 16, 1.5 / 32768},
                      DepthCase{testsupport::WavSampleFormat::S24, "s24", 24, 1.5 / 8388608},
                      DepthCase{testsupport::WavSampleFormat::S32, "s32", 32, 1e-7},
                      DepthCase{testsupport::WavSampleFormat::Float32, "f32", 32, 0.0},
                      DepthCase{testsupport::WavSampleFormat::Float64, "f64", 64, 0.0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DecoderLossy, SourceBitsIsZeroForLossyCodecs) {
    testsupport::TempDir dir;
    for (const char* ext : {"mp3", "ogg", "m4a"}) {
        const std::string path = dir.file(std::string("lossy.") + ext);
        ASSERT_TRUE(
            testsupport::writeAudioFile(path, testsupport::sine(440, 0.3, 44100, 1), 44100, 1));
        std::string error;
        auto decoder = AudioDecoder::open(path, &error);
        ASSERT_TRUE(decoder) << error;
        EXPECT_EQ(decoder->sourceBits(), 0) << ext;
    }
}

}  // namespace
