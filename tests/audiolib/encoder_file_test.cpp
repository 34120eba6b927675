// The export encoders: what goes in comes out (within the format's precision), loud input clips
// instead of wrapping, and every way of failing is reported rather than passed off as success.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "audiolib/AudioDecoder.h"
#include "audiolib/FileEncoder.h"
#include "support/AudioFixtures.h"
#include "support/TempHome.h"

namespace {

using audiolib::EncodedFormat;
using audiolib::FileEncoder;

bool encodeAll(FileEncoder& encoder, const std::vector<float>& data, int channels,
               std::size_t block) {
    const std::size_t frames = data.size() / static_cast<std::size_t>(channels);
    for (std::size_t done = 0; done < frames; done += block) {
        const std::size_t n = std::min(block, frames - done);
        if (!encoder.write(data.data() + done * static_cast<std::size_t>(channels), n)) {
            return false;
        }
    }
    return encoder.finish();
}

// The 16-bit samples of a canonical 44-byte-header WAV as FFmpeg writes it (no extra chunks
// for plain PCM), read with no FFmpeg in between.
std::vector<std::int16_t> rawWavSamples(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::int16_t> samples;
    // Find the "data" chunk rather than assume its offset.
    for (std::size_t i = 12; i + 8 <= bytes.size();) {
        const std::string id(bytes.data() + i, 4);
        std::uint32_t size = 0;
        for (int b = 3; b >= 0; --b) {
            size =
                size << 8 | static_cast<unsigned char>(bytes[i + 4 + static_cast<std::size_t>(b)]);
        }
        if (id == "data") {
            const std::size_t end = std::min(bytes.size(), i + 8 + size);
            for (std::size_t p = i + 8; p + 1 < end; p += 2) {
                samples.push_back(
                    static_cast<std::int16_t>(static_cast<unsigned char>(bytes[p]) |
                                              static_cast<unsigned char>(bytes[p + 1]) << 8));
            }
            break;
        }
        i += 8 + size + (size & 1);
    }
    return samples;
}

TEST(EncoderWav, ContentEqualsInputWithin16BitQuantisation) {
    testsupport::TempDir dir;
    const std::string path = dir.file("out.wav");
    const auto input = testsupport::sine(1000.0, 0.5, 44100, 2, 0.8f);
    std::string error;
    auto encoder = FileEncoder::create(path, EncodedFormat::Wav16, 44100, 2, &error);
    ASSERT_TRUE(encoder) << error;
    EXPECT_TRUE(encoder->alive());
    ASSERT_TRUE(encodeAll(*encoder, input, 2, 777));
    EXPECT_FALSE(encoder->alive()) << "a finished encoder is no longer active";
    EXPECT_TRUE(encoder->finish()) << "finish is idempotent";

    const auto samples = rawWavSamples(path);
    ASSERT_EQ(samples.size(), input.size());
    for (std::size_t i = 0; i < input.size(); ++i) {
        ASSERT_LE(std::fabs(samples[i] / 32768.0 - input[i]), 0.5 / 32768.0 + 1e-7) << i;
    }
    // And our own decoder reads it back as 16-bit stereo at the same rate.
    std::vector<float> decoded;
    int rate = 0;
    int channels = 0;
    ASSERT_TRUE(testsupport::decodeFile(path, &decoded, &rate, &channels, &error)) << error;
    EXPECT_EQ(rate, 44100);
    EXPECT_EQ(channels, 2);
    EXPECT_EQ(decoded.size(), input.size());
}

TEST(EncoderWav, BeyondFullScaleSaturatesNeverWraps) {
    testsupport::TempDir dir;
    const std::string path = dir.file("loud.wav");
    // +2, -2, just over +1, just under -1, a NaN, and ordinary values around them.
    const std::vector<float> input = {2.0f,  -2.0f, 1.0001f, -1.0001f, 1.0f,
                                      -1.0f, 0.5f,  -0.5f,   NAN,      1e9f};
    std::string error;
    auto encoder = FileEncoder::create(path, EncodedFormat::Wav16, 8000, 1, &error);
    ASSERT_TRUE(encoder) << error;
    ASSERT_TRUE(encodeAll(*encoder, input, 1, 3));
    const auto s = rawWavSamples(path);
    ASSERT_EQ(s.size(), input.size());
    EXPECT_EQ(s[0], 32767);
    EXPECT_EQ(s[1], -32768);
    EXPECT_EQ(s[2], 32767);
    EXPECT_EQ(s[3], -32768);
    EXPECT_EQ(s[4], 32767);
    EXPECT_EQ(s[5], -32768);
    EXPECT_NEAR(s[6], 16384, 1);
    EXPECT_NEAR(s[7], -16384, 1);
    EXPECT_EQ(s[8], 0) << "NaN is written as silence";
    EXPECT_EQ(s[9], 32767);
}

struct CompressedCase {
    EncodedFormat format;
    const char* extension;
    int rate;
    int channels;
};

class EncoderRoundTrip : public ::testing::TestWithParam<CompressedCase> {};

TEST_P(EncoderRoundTrip, DecodesToTheSameLengthAndPitch) {
    const CompressedCase& c = GetParam();
    testsupport::TempDir dir;
    const std::string path = dir.file(std::string("out.") + c.extension);
    const auto input = testsupport::sine(440.0, 2.5, c.rate, c.channels, 0.5f);
    std::string error;
    auto encoder = FileEncoder::create(path, c.format, c.rate, c.channels, &error);
    ASSERT_TRUE(encoder) << error;
    // An awkward block size: AAC takes exactly 1024 frames at a time, ALAC 4096.
    ASSERT_TRUE(encodeAll(*encoder, input, c.channels, 1000));

    std::vector<float> decoded;
    int rate = 0;
    int channels = 0;
    ASSERT_TRUE(testsupport::decodeFile(path, &decoded, &rate, &channels, &error)) << error;
    EXPECT_EQ(rate, c.rate);
    ASSERT_EQ(channels, c.channels);
    // Both are exact: ALAC is lossless, and the AAC priming and padding are recorded in the
    // MP4 edit list and trimmed by the decoder.
    EXPECT_EQ(decoded.size(), input.size());
    const auto first = testsupport::channelOf(decoded, channels, 0);
    const auto last = testsupport::channelOf(decoded, channels, channels - 1);
    EXPECT_NEAR(testsupport::dominantFrequency(first, c.rate), 440.0, 0.5);
    EXPECT_NEAR(testsupport::dominantFrequency(last, c.rate), 440.0, 0.5);
    if (c.format == EncodedFormat::M4aAlac) {
        // Lossless over 16-bit quantisation.
        for (std::size_t i = 0; i < std::min(decoded.size(), input.size()); ++i) {
            ASSERT_NEAR(decoded[i], input[i], 1.0 / 32767.0) << i;
        }
    } else {
        EXPECT_NEAR(testsupport::rms(first), 0.5 / std::sqrt(2.0), 0.02);
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, EncoderRoundTrip,
                         ::testing::Values(CompressedCase{EncodedFormat::Mp4Aac, "mp4", 44100, 2},
                                           CompressedCase{EncodedFormat::Mp4Aac, "mp4", 48000, 1},
                                           CompressedCase{EncodedFormat::Mp4Aac, "mp4", 44100, 6},
                                           CompressedCase{EncodedFormat::M4aAlac, "m4a", 44100, 2},
                                           CompressedCase{EncodedFormat::M4aAlac, "m4a", 96000, 1},
                                           CompressedCase{EncodedFormat::M4aAlac, "m4a", 48000, 6}),
                         [](const auto& info) {
                             return std::string(info.param.extension) + "_" +
                                    std::to_string(info.param.rate) + "_" +
                                    std::to_string(info.param.channels) + "ch";
                         });

TEST(EncoderAac, ClipsLoudInputInsteadOfWrapping) {
    testsupport::TempDir dir;
    const std::string path = dir.file("loud.mp4");
    // A sine at four times full scale: saturated it is nearly a square wave at full scale;
    // wrapped it would be noise far above it.
    const auto input = testsupport::sine(220.0, 1.0, 44100, 2, 4.0f);
    std::string error;
    auto encoder = FileEncoder::create(path, EncodedFormat::Mp4Aac, 44100, 2, &error);
    ASSERT_TRUE(encoder) << error;
    ASSERT_TRUE(encodeAll(*encoder, input, 2, 4096));
    std::vector<float> decoded;
    ASSERT_TRUE(testsupport::decodeFile(path, &decoded, nullptr, nullptr, &error)) << error;
    const auto left = testsupport::channelOf(decoded, 2, 0);
    // Unclipped the RMS would be 2.8; the clipped square wave loses some of its RMS to AAC's
    // low-pass filter, which removes its upper harmonics.
    EXPECT_GT(testsupport::rms(left), 0.75);
    EXPECT_LT(testsupport::rms(left), 1.05);
    EXPECT_LT(testsupport::peak(left), 1.4);
    EXPECT_NEAR(testsupport::dominantFrequency(left, 44100), 220.0, 1.0);
}

TEST(EncoderFailure, FileThatCannotBeCreatedGivesNullAndLeavesNothing) {
    testsupport::TempDir dir;
    const std::string missing = dir.file("no/such/folder/out.wav");
    for (EncodedFormat f : {EncodedFormat::Wav16, EncodedFormat::Mp4Aac, EncodedFormat::M4aAlac}) {
        std::string error;
        EXPECT_EQ(FileEncoder::create(missing, f, 44100, 2, &error), nullptr);
        EXPECT_FALSE(error.empty());
    }
    std::string error;
    EXPECT_EQ(FileEncoder::create(dir.path(), EncodedFormat::Wav16, 44100, 2, &error), nullptr)
        << "a folder is not a file";
    EXPECT_FALSE(error.empty());

    if (::geteuid() != 0) {
        const std::string locked = dir.file("locked");
        ASSERT_EQ(::mkdir(locked.c_str(), 0500), 0);
        error.clear();
        EXPECT_EQ(FileEncoder::create(locked + "/out.wav", EncodedFormat::Wav16, 44100, 2, &error),
                  nullptr);
        EXPECT_FALSE(error.empty());
    }
}

TEST(EncoderFailure, ImpossibleSettingsGiveNullAndNoFile) {
    testsupport::TempDir dir;
    const std::string path = dir.file("out.wav");
    std::string error;
    EXPECT_EQ(FileEncoder::create(path, EncodedFormat::Wav16, 44100, 0, &error), nullptr);
    EXPECT_FALSE(error.empty());
    error.clear();
    EXPECT_EQ(FileEncoder::create(path, EncodedFormat::Mp4Aac, 0, 2, &error), nullptr);
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(FileEncoder::create(path, EncodedFormat::M4aAlac, -44100, 2, &error), nullptr);
    struct stat info {};
    EXPECT_NE(::stat(path.c_str(), &info), 0) << "a refused encoder leaves no file behind";
}

// AAC takes only a fixed list of rates, but an export at a changed playback rate may ask for
// any: the audio is resampled to the next rate AAC offers, keeping its duration and pitch.
TEST(EncoderAac, RateAacDoesNotOfferIsResampledUpwards) {
    testsupport::TempDir dir;
    struct RateCase {
        int asked;
        int written;
    };
    for (const RateCase c :
         {RateCase{57330, 64000}, RateCase{192000, 96000}, RateCase{6000, 7350}}) {
        const std::string path = dir.file("rate" + std::to_string(c.asked) + ".mp4");
        const auto input = testsupport::sine(440.0, 1.5, c.asked, 2, 0.5f);
        std::string error;
        auto encoder = FileEncoder::create(path, EncodedFormat::Mp4Aac, c.asked, 2, &error);
        ASSERT_TRUE(encoder) << c.asked << ": " << error;
        ASSERT_TRUE(encodeAll(*encoder, input, 2, 1234));
        std::vector<float> decoded;
        int rate = 0;
        ASSERT_TRUE(testsupport::decodeFile(path, &decoded, &rate, nullptr, &error)) << error;
        EXPECT_EQ(rate, c.written);
        // Within a millisecond of 1.5 s: the resampler's tail is flushed, not lost.
        EXPECT_NEAR(static_cast<double>(decoded.size() / 2) / rate, 1.5, 0.001) << c.asked;
        EXPECT_NEAR(testsupport::dominantFrequency(testsupport::channelOf(decoded, 2, 0), rate),
                    440.0, 0.5)
            << c.asked;
    }
}

TEST(EncoderFailure, FullDiskKillsTheEncoder) {
    struct stat info {};
    if (::stat("/dev/full", &info) != 0) {
        GTEST_SKIP() << "/dev/full is not available";
    }
    for (EncodedFormat f : {EncodedFormat::Wav16, EncodedFormat::Mp4Aac, EncodedFormat::M4aAlac}) {
        std::string error;
        auto encoder = FileEncoder::create("/dev/full", f, 44100, 2, &error);
        if (!encoder) {
            // Refusing at once is as good as dying later: either way no success is reported.
            EXPECT_FALSE(error.empty());
            continue;
        }
        const auto block = testsupport::sine(440.0, 1.0, 44100, 2, 0.5f);
        bool died = false;
        // Ten minutes of audio is far more than any write buffer holds.
        for (int i = 0; i < 600 && !died; ++i) {
            died = !encoder->write(block.data(), block.size() / 2);
        }
        EXPECT_TRUE(died || !encoder->finish()) << "writing to a full disk reported success";
        EXPECT_FALSE(encoder->alive());
        EXPECT_FALSE(encoder->finish());
        EXPECT_FALSE(encoder->write(block.data(), 16)) << "a dead encoder stays dead";
    }
    EXPECT_EQ(::stat("/dev/full", &info), 0) << "the device must survive";
}

}  // namespace
