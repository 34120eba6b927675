// Every format the player offers (and the other common ones FFmpeg reads) through the decoder:
// exact length, the right pitch, and seeking that lands on the very sample a straight read gives.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "audiolib/AudioDecoder.h"
#include "audiolib/ffmpeg/FfmpegDecoder.h"
#include "audiolib/ffmpeg/FfmpegEncoder.h"
#include "support/AudioFixtures.h"
#include "support/TempHome.h"

namespace {

using audiolib::AudioDecoder;

struct FormatCase {
    const char* extension;
    int rate;
    // Frames by which the decoded length may differ from what was encoded.
    long lengthTolerance;
    // Largest difference between a sample read after a seek and the same sample read straight.
    double seekTolerance;
};

// Lengths: PCM, FLAC and ALAC are exact by nature. MP3 from LAME carries its encoder delay and
// padding in the Xing/LAME header, AAC in MP4 in the edit list, Vorbis and Opus in the Ogg
// granule positions: all exact. MP2 and raw ADTS AAC record neither: the decoder delay (481
// frames for MP2, the 1024-frame priming for AAC) plus the padding to a whole frame remain.
// Seeks: PCM and FLAC match to the bit. Lossy decoders started a pre-roll early reach the same
// state within float rounding, except that AAC's noise substitution draws from a generator
// whose state depends on everything decoded before, so noise-filled bands differ a little.
constexpr double kRounding = 1e-4;
constexpr double kAacNoise = 2e-3;
const FormatCase kFormats[] = {
    {"wav", 44100, 0, 0.0},
    {"aif", 44100, 0, 0.0},
    {"aiff", 22050, 0, 0.0},
    {"flac", 44100, 0, 0.0},
    {"mp3", 44100, 0, kRounding},
    {"mp2", 44100, 481 + 1152, kRounding},
    {"ogg", 44100, 0, kRounding},
    {"opus", 48000, 0, kRounding},
    {"m4a", 44100, 0, kAacNoise},
    {"mp4", 48000, 0, kAacNoise},
    {"aac", 44100, 1024 + 1024, kAacNoise},
};

class DecoderFormatTest : public ::testing::TestWithParam<FormatCase> {
  protected:
    void SetUp() override {
        const FormatCase& c = GetParam();
        input_ = testsupport::sine(440.0, 3.0, c.rate, 2, 0.5f);
        path_ = dir_.file(std::string("tone.") + c.extension);
        std::string error;
        ASSERT_TRUE(testsupport::writeAudioFile(path_, input_, c.rate, 2, &error)) << error;
        ASSERT_TRUE(testsupport::decodeFile(path_, &straight_, nullptr, nullptr, &error)) << error;
    }

    testsupport::TempDir dir_;
    std::string path_;
    std::vector<float> input_;
    std::vector<float> straight_;
};

TEST_P(DecoderFormatTest, LengthIsWhatReadDeliversAndMatchesTheSource) {
    const FormatCase& c = GetParam();
    std::string error;
    auto decoder = AudioDecoder::open(path_, &error);
    ASSERT_TRUE(decoder) << error;
    EXPECT_EQ(decoder->sampleRate(), c.rate);
    EXPECT_EQ(decoder->channels(), 2);
    EXPECT_EQ(decoder->lengthFrames(), straight_.size() / 2) << "length must be what read gives";
    const long encoded = static_cast<long>(input_.size() / 2);
    const long decoded = static_cast<long>(decoder->lengthFrames());
    EXPECT_LE(std::labs(decoded - encoded), c.lengthTolerance)
        << "encoded " << encoded << " frames, decoded " << decoded;
}

TEST_P(DecoderFormatTest, ToneKeepsItsPitchAndLevel) {
    const FormatCase& c = GetParam();
    const auto left = testsupport::channelOf(straight_, 2, 0);
    EXPECT_NEAR(testsupport::dominantFrequency(left, c.rate), 440.0, 440.0 * 0.002);
    // A 0.5 sine has an RMS of 0.354; lossy codecs keep the level within a few percent.
    EXPECT_NEAR(testsupport::rms(left), 0.5 / std::sqrt(2.0), 0.02);
}

TEST_P(DecoderFormatTest, SeekThenReadEqualsStraightRead) {
    const FormatCase& c = GetParam();
    std::string error;
    auto decoder = AudioDecoder::open(path_, &error);
    ASSERT_TRUE(decoder) << error;
    const std::uint64_t length = decoder->lengthFrames();
    ASSERT_GT(length, 40000u);
    // Forward and backward, near the start (inside the encoder delay), mid-file across frame
    // boundaries, and right at the end.
    const std::vector<std::uint64_t> targets = {
        length / 2,    1,          0,   1000,       1152 * 20 + 7, 44100,        65536 + 3,
        length - 4096, length / 3, 100, length - 1, 30000,         length - 1500};
    std::vector<float> got(4096 * 2);
    for (std::uint64_t target : targets) {
        ASSERT_TRUE(decoder->seek(target)) << "target " << target;
        EXPECT_EQ(decoder->positionFrames(), target);
        const std::size_t n = decoder->read(got.data(), 4096);
        const std::size_t expected =
            static_cast<std::size_t>(std::min<std::uint64_t>(4096, length - target));
        ASSERT_EQ(n, expected) << "target " << target;
        double worst = 0;
        std::size_t worstAt = 0;
        for (std::size_t i = 0; i < n * 2; ++i) {
            const double d = std::fabs(got[i] - straight_[target * 2 + i]);
            if (d > worst) {
                worst = d;
                worstAt = i / 2;
            }
        }
        EXPECT_LE(worst, c.seekTolerance)
            << c.extension << " target " << target << " worst at frame +" << worstAt;
        EXPECT_EQ(decoder->positionFrames(), target + n);
    }
    EXPECT_FALSE(decoder->seek(length + 1));
    ASSERT_TRUE(decoder->seek(length));
    EXPECT_EQ(decoder->read(got.data(), 16), 0u);
}

TEST_P(DecoderFormatTest, SeeksPastTheStartDoNotDecodeFromTheStart) {
    // Decoding from the start would be correct but slow on a long file: a slider move on a
    // ten-minute MP3 would take a second to be heard.
    std::string error;
    auto decoder = audiolib::ffmpeg::FfmpegDecoder::open(path_, &error);
    ASSERT_TRUE(decoder) << error;
    const std::uint64_t length = decoder->lengthFrames();
    std::vector<float> got(64 * 2);
    for (std::uint64_t target : {length / 2, length - 100, 60000ul, length / 3, 50000ul}) {
        ASSERT_TRUE(decoder->seek(target));
        ASSERT_EQ(decoder->read(got.data(), 64), 64u);
        EXPECT_NEAR(got[0], straight_[target * 2], GetParam().seekTolerance) << "target " << target;
    }
    EXPECT_EQ(decoder->seeksFromStart(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Formats, DecoderFormatTest, ::testing::ValuesIn(kFormats),
                         [](const auto& info) {
                             return std::string(info.param.extension) + "_" +
                                    std::to_string(info.param.rate);
                         });

// Matroska states its duration in milliseconds only, so nothing but decoding tells the exact
// length. Opened for playback, the decoder must be readable at once and measure in the
// background; once the measurement is in, length and seeks are as exact as with a full scan.
TEST(DecoderBackgroundLength, MatroskaPlaysAtOnceAndIsMeasuredMeanwhile) {
    testsupport::TempDir dir;
    const std::string path = dir.file("tone.mkv");
    const auto input = testsupport::sine(440.0, 3.0, 44100, 2, 0.5f);
    audiolib::ffmpeg::EncoderRecipe recipe;
    recipe.muxer = "matroska";
    recipe.codec = "flac";
    std::string error;
    auto encoder = audiolib::ffmpeg::FfmpegEncoder::create(path, recipe, 44100, 2, &error);
    ASSERT_TRUE(encoder) << error;
    ASSERT_TRUE(encoder->write(input.data(), input.size() / 2) && encoder->finish());

    auto scanned = AudioDecoder::open(path, &error, AudioDecoder::Measure::Now);
    ASSERT_TRUE(scanned) << error;
    EXPECT_TRUE(scanned->lengthFinal());
    EXPECT_EQ(scanned->lengthFrames(), input.size() / 2);

    auto quick = AudioDecoder::open(path, &error, AudioDecoder::Measure::InBackground);
    ASSERT_TRUE(quick) << error;
    std::vector<float> got(4096 * 2);
    ASSERT_EQ(quick->read(got.data(), 4096), 4096u);
    for (int i = 0; i < 1000 && !quick->lengthFinal(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(quick->lengthFinal()) << "the measurement did not end within 10 s";
    EXPECT_EQ(quick->lengthFrames(), scanned->lengthFrames());
    std::vector<float> expected(4096 * 2);
    for (std::uint64_t target : {70000ul, 1000ul, 120000ul}) {
        ASSERT_TRUE(quick->seek(target));
        ASSERT_TRUE(scanned->seek(target));
        ASSERT_EQ(quick->read(got.data(), 4096), 4096u);
        ASSERT_EQ(scanned->read(expected.data(), 4096), 4096u);
        EXPECT_EQ(got, expected) << "target " << target;
    }
}

// Vorbis switches to short blocks at transients, and FFmpeg's timestamps for the packets around
// a switch come out a few hundred frames late. Placed by those, blocks were cut short with
// silence in their place, and a seek could land that far early. Music full of attacks decodes
// whole, straight and after any seek.
TEST(DecoderVorbis, BlockSwitchesDecodeWholeStraightAndAfterSeeks) {
    testsupport::TempDir dir;
    const int rate = 44100;
    std::vector<float> input = testsupport::sine(330.0, 6.0, rate, 2, 0.3F);
    for (std::size_t at = rate / 8; at + 64 < input.size() / 2; at += rate / 5) {
        for (std::size_t i = 0; i < 64; ++i) {  // a sharp attack five times a second
            const float hit = (i % 2 == 0 ? 0.6F : -0.6F) * (1.0F - static_cast<float>(i) / 64);
            input[2 * (at + i)] += hit;
            input[2 * (at + i) + 1] += hit;
        }
    }
    const std::string path = dir.file("attacks.ogg");
    std::string error;
    ASSERT_TRUE(testsupport::writeAudioFile(path, input, rate, 2, &error)) << error;
    std::vector<float> straight;
    ASSERT_TRUE(testsupport::decodeFile(path, &straight, nullptr, nullptr, &error)) << error;
    ASSERT_EQ(straight.size(), input.size());
    // Where the input sounds, no stretch of 2 ms decodes to silence.
    const std::size_t window = rate / 500;
    for (std::size_t f = window; f + window < input.size() / 2; f += window) {
        double level = 0.0;
        for (std::size_t i = 0; i < 2 * window; ++i)
            level += std::fabs(straight[2 * f + i]);
        ASSERT_GT(level / (2.0 * window), 0.05) << "silence decoded at frame " << f;
    }
    auto decoder = AudioDecoder::open(path, &error);
    ASSERT_TRUE(decoder) << error;
    std::vector<float> got(4096 * 2);
    for (std::uint64_t target = 30011; target + 4096 < straight.size() / 2; target += 9973) {
        ASSERT_TRUE(decoder->seek(target));
        ASSERT_EQ(decoder->read(got.data(), 4096), 4096U);
        double worst = 0.0;
        for (std::size_t i = 0; i < got.size(); ++i)
            worst =
                std::max(worst, static_cast<double>(std::fabs(got[i] - straight[2 * target + i])));
        EXPECT_LT(worst, kRounding) << "target " << target;
    }
}

}  // namespace
