// MPEG-1 Layer I (.mp1), which the player offers but FFmpeg cannot encode: the fixture is built
// bit by bit. Each frame puts a constant into one subband of the synthesis filter bank, so all
// the sound lies in that subband's band, k * rate / 64 to (k + 1) * rate / 64.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "audiolib/AudioDecoder.h"
#include "support/AudioFixtures.h"
#include "support/TempHome.h"

namespace {

class BitWriter {
  public:
    void put(std::uint32_t value, int bits) {
        for (int i = bits - 1; i >= 0; --i) {
            if (used_ == 0) {
                bytes_.push_back(0);
            }
            bytes_.back() |= static_cast<std::uint8_t>(((value >> i) & 1u) << (7 - used_));
            used_ = (used_ + 1) % 8;
        }
    }
    std::vector<std::uint8_t>& bytes() { return bytes_; }

  private:
    std::vector<std::uint8_t> bytes_;
    int used_ = 0;
};

using testsupport::kRate;
constexpr int kSubband = 1;
constexpr int kSamplesPerFrame = 384;
// 256 kbit/s at 44.1 kHz: 12 * 256000 / 44100 = 69 slots of 4 bytes, unpadded.
constexpr std::size_t kFrameBytes = 69 * 4;

// One mono Layer I frame: header, 32 allocations of which only kSubband's is non-zero (4-bit
// samples), its scale factor, and twelve equal samples; zeros fill the frame.
std::vector<std::uint8_t> layerOneFrame() {
    BitWriter w;
    w.put(0x7FF, 11);  // sync
    w.put(3, 2);       // MPEG-1
    w.put(3, 2);       // Layer I
    w.put(1, 1);       // no CRC
    w.put(8, 4);       // 256 kbit/s
    w.put(0, 2);       // 44.1 kHz
    w.put(0, 1);       // no padding
    w.put(0, 1);       // private
    w.put(3, 2);       // mono
    w.put(0, 2);       // mode extension
    w.put(0, 4);       // copyright, original, emphasis
    for (int sb = 0; sb < 32; ++sb) {
        w.put(sb == kSubband ? 3 : 0, 4);  // 3 -> 4 bits per sample
    }
    w.put(10, 6);  // scale factor index 10: about 0.2 of full scale
    for (int s = 0; s < 12; ++s) {
        w.put(14, 4);
    }
    auto bytes = w.bytes();
    bytes.resize(kFrameBytes, 0);
    return bytes;
}

bool writeLayerOneFile(const std::string& path, int frames) {
    const auto frame = layerOneFrame();
    std::ofstream out(path, std::ios::binary);
    for (int i = 0; i < frames; ++i) {
        out.write(reinterpret_cast<const char*>(frame.data()),
                  static_cast<std::streamsize>(frame.size()));
    }
    return static_cast<bool>(out);
}

TEST(DecoderMp1, FixtureWriterRefusesMp1) {
    testsupport::TempDir dir;
    std::string error;
    EXPECT_FALSE(testsupport::writeAudioFile(
        dir.file("x.mp1"), testsupport::sine(440, 0.1, kRate, 1), kRate, 1, &error));
    EXPECT_NE(error.find("Layer I"), std::string::npos) << error;
}

TEST(DecoderMp1, LayerOneDecodesWithExactLengthPitchAndSeeks) {
    testsupport::TempDir dir;
    const std::string path = dir.file("tone.mp1");
    constexpr int kFrames = 400;  // 3.5 seconds
    ASSERT_TRUE(writeLayerOneFile(path, kFrames));

    std::string error;
    auto decoder = audiolib::AudioDecoder::open(path, &error);
    ASSERT_TRUE(decoder) << error;
    EXPECT_EQ(decoder->sampleRate(), kRate);
    EXPECT_EQ(decoder->channels(), 1);
    // Layer I has no delay header: every frame's 384 samples are delivered.
    EXPECT_EQ(decoder->lengthFrames(), static_cast<std::uint64_t>(kFrames) * kSamplesPerFrame);

    std::vector<float> straight;
    ASSERT_TRUE(testsupport::decodeFile(path, &straight, nullptr, nullptr, &error)) << error;
    ASSERT_EQ(straight.size(), decoder->lengthFrames());
    const double peakHz = testsupport::dominantFrequency(straight, kRate);
    EXPECT_GE(peakHz, kSubband * kRate / 64.0 - 1.0);
    EXPECT_LE(peakHz, (kSubband + 1) * kRate / 64.0 + 1.0);
    EXPECT_GT(testsupport::rms(straight), 0.01);

    std::vector<float> got(1000);
    for (std::uint64_t target : {100000ul, 30000ul, 150001ul, 5ul}) {
        ASSERT_TRUE(decoder->seek(target));
        ASSERT_EQ(decoder->read(got.data(), 1000), 1000u);
        for (std::size_t i = 0; i < got.size(); ++i) {
            // The synthesis filter restarted a pre-roll early agrees within float rounding.
            ASSERT_NEAR(got[i], straight[target + i], 1e-4) << "target " << target;
        }
    }
}

}  // namespace
