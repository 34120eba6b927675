// MP3 in its common shapes: constant and variable bit rate, with and without the Xing/LAME
// header. The header is what makes an exact length possible; without it the length is still
// what read() delivers, and a seek still lands where a straight read would be.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "audiolib/AudioDecoder.h"
#include "audiolib/ffmpeg/FfmpegDecoder.h"
#include "audiolib/ffmpeg/FfmpegEncoder.h"
#include "support/AudioFixtures.h"
#include "support/TempHome.h"

namespace {

using audiolib::ffmpeg::EncoderRecipe;
using audiolib::ffmpeg::FfmpegDecoder;
using audiolib::ffmpeg::FfmpegEncoder;

// A signal whose complexity changes over time, so variable bit rate really varies: a quiet
// tone, then a loud chord, then near silence.
std::vector<float> changingSignal(int rate) {
    std::vector<float> out;
    const auto quiet = testsupport::sine(330.0, 2.0, rate, 2, 0.1f);
    auto chord = testsupport::sine(440.0, 2.0, rate, 2, 0.3f);
    const auto fifth = testsupport::sine(659.25, 2.0, rate, 2, 0.3f);
    const auto high = testsupport::sine(3520.0, 2.0, rate, 2, 0.2f);
    for (std::size_t i = 0; i < chord.size(); ++i) {
        chord[i] += fifth[i] + high[i];
    }
    const auto hush = testsupport::sine(440.0, 2.0, rate, 2, 0.001f);
    out.insert(out.end(), quiet.begin(), quiet.end());
    out.insert(out.end(), chord.begin(), chord.end());
    out.insert(out.end(), hush.begin(), hush.end());
    return out;
}

bool writeMp3(const std::string& path, const std::vector<float>& data, int rate,
              const char* codecOptions, const char* muxerOptions, std::int64_t bitRate) {
    EncoderRecipe recipe;
    recipe.muxer = "mp3";
    recipe.codec = "libmp3lame";
    recipe.bitRate = bitRate;
    recipe.codecOptions = codecOptions;
    recipe.muxerOptions = muxerOptions;
    std::string error;
    auto encoder = FfmpegEncoder::create(path, recipe, rate, 2, &error);
    if (!encoder) {
        ADD_FAILURE() << error;
        return false;
    }
    return encoder->write(data.data(), data.size() / 2) && encoder->finish();
}

struct Mp3Case {
    const char* name;
    const char* codecOptions;  // "flags=+qscale:global_quality=..." selects LAME's VBR mode
    const char* muxerOptions;
    std::int64_t bitRate;
    bool hasHeader;
};

class DecoderMp3 : public ::testing::TestWithParam<Mp3Case> {};

TEST_P(DecoderMp3, LengthAndSeeksHoldWithAndWithoutTheHeader) {
    const Mp3Case& c = GetParam();
    testsupport::TempDir dir;
    const std::string path = dir.file(std::string(c.name) + ".mp3");
    const auto input = changingSignal(44100);
    ASSERT_TRUE(writeMp3(path, input, 44100, c.codecOptions, c.muxerOptions, c.bitRate));

    std::vector<float> straight;
    std::string error;
    ASSERT_TRUE(testsupport::decodeFile(path, &straight, nullptr, nullptr, &error)) << error;
    auto decoder = FfmpegDecoder::open(path, &error);
    ASSERT_TRUE(decoder) << error;
    const std::uint64_t length = decoder->lengthFrames();
    EXPECT_EQ(length * 2, straight.size()) << "the length is what read delivers";
    const auto encoded = static_cast<std::uint64_t>(input.size() / 2);
    if (c.hasHeader) {
        EXPECT_EQ(length, encoded);
    } else {
        // Without the header nothing says how much of the start is encoder delay (LAME's 576
        // plus the decoder's 529) or how much of the end is padding (under one 1152 frame).
        EXPECT_GE(length, encoded);
        EXPECT_LE(length, encoded + 576 + 529 + 1152);
    }
    std::vector<float> got(3000 * 2);
    for (std::uint64_t target : {length / 2, length - 3000, length / 6, 200000ul, 90000ul, 17ul}) {
        ASSERT_TRUE(decoder->seek(target));
        ASSERT_EQ(decoder->read(got.data(), 3000), 3000u);
        for (std::size_t i = 0; i < got.size(); ++i) {
            ASSERT_NEAR(got[i], straight[target * 2 + i], 1e-4)
                << c.name << " target " << target << " frame +" << i / 2;
        }
    }
    EXPECT_EQ(decoder->seeksFromStart(), 1u) << "only the seek to frame 17 decodes from the start";
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, DecoderMp3,
    ::testing::Values(Mp3Case{"cbr_header", nullptr, nullptr, 128000, true},
                      Mp3Case{"cbr_bare", nullptr, "write_xing=0", 128000, false},
                      Mp3Case{"vbr_header", "flags=+qscale:global_quality=590", nullptr, 0, true},
                      Mp3Case{"vbr_bare", "flags=+qscale:global_quality=590", "write_xing=0", 0,
                              false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
