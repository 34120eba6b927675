// What a decoding tempo stream renders with either stretch engine: pitch, length and level of the
// output, for the settings the player and the export use.
#include <cmath>

#include "AudiolibTestSupport.h"

namespace {

using audiolibtest::makeTempoStream;
using audiolibtest::pullAll;
using testsupport::channelOf;
using testsupport::dominantFrequency;

class TempoRenderTest : public audiolibtest::NoSoundTest,
                        public ::testing::WithParamInterface<DWORD> {
  protected:
    void SetUp() override {
        NoSoundTest::SetUp();
        path_ =
            writeFixture("sine440.wav", testsupport::sine(440.0, 4.0, 44100, 2, 0.5F), 44100, 2);
    }

    std::vector<float> render(DWORD attribute, float value) {
        const HSTREAM tempo = makeTempoStream(path_, BASS_SAMPLE_FLOAT, flags());
        EXPECT_NE(tempo, 0U) << BASS_ErrorGetCode();
        EXPECT_TRUE(BASS_ChannelSetAttribute(tempo, attribute, value));
        auto frames = pullAll(tempo);
        EXPECT_TRUE(BASS_StreamFree(tempo));
        return frames;
    }

    DWORD flags() const { return BASS_STREAM_DECODE | GetParam(); }

    std::string path_;
};

// The length is exact (the source's divided by the ratio, to a frame) and the last frames are
// the music's tail: no silence is padded on where the engine's delay was not compensated.
void expectExactLengthAndLiveTail(const std::vector<float>& out, double expectedFrames) {
    EXPECT_NEAR(out.size() / 2.0, expectedFrames, 1.0);
    const std::size_t tail = 2 * 220;  // 5 ms
    ASSERT_GT(out.size(), tail);
    const std::vector<float> last(out.end() - static_cast<std::ptrdiff_t>(tail), out.end());
    // A whole 0.5 sine reads 0.354; an engine may let the hard end decay over its window.
    EXPECT_GT(testsupport::rms(last), 0.1);
    for (float v : out)
        ASSERT_TRUE(std::isfinite(v));
}

TEST_P(TempoRenderTest, NeutralSettingsKeepLengthAndFrequency) {
    const auto out = render(BASS_ATTRIB_TEMPO, 0.0F);
    expectExactLengthAndLiveTail(out, 4.0 * 44100);
    EXPECT_NEAR(dominantFrequency(channelOf(out, 2, 0), 44100), 440.0, 440.0 * 0.005);
}

TEST_P(TempoRenderTest, PitchTwoSemitonesUpKeepsLength) {
    const auto out = render(BASS_ATTRIB_TEMPO_PITCH, 2.0F);
    const double expected = 440.0 * std::pow(2.0, 2.0 / 12.0);  // 493.88 Hz
    EXPECT_NEAR(dominantFrequency(channelOf(out, 2, 0), 44100), expected, expected * 0.005);
    expectExactLengthAndLiveTail(out, 4.0 * 44100);
}

TEST_P(TempoRenderTest, SlowerTempoLengthensWithoutChangingPitch) {
    const auto out = render(BASS_ATTRIB_TEMPO, -25.0F);
    expectExactLengthAndLiveTail(out, 4.0 * 44100 * 4.0 / 3.0);
    EXPECT_NEAR(dominantFrequency(channelOf(out, 2, 1), 44100), 440.0, 440.0 * 0.005);
}

TEST_P(TempoRenderTest, FasterTempoShortens) {
    const auto out = render(BASS_ATTRIB_TEMPO, 100.0F);
    expectExactLengthAndLiveTail(out, 2.0 * 44100);
}

TEST_P(TempoRenderTest, HigherRateRaisesPitchAndShortens) {
    const auto out = render(BASS_ATTRIB_FREQ, 48000.0F);
    const double factor = 48000.0 / 44100.0;
    EXPECT_NEAR(dominantFrequency(channelOf(out, 2, 0), 44100), 440.0 * factor,
                440.0 * factor * 0.005);
    expectExactLengthAndLiveTail(out, 4.0 * 44100 / factor);
}

TEST_P(TempoRenderTest, GainEffectScalesAmplitude) {
    const HSTREAM tempo = makeTempoStream(path_, BASS_SAMPLE_FLOAT, flags());
    ASSERT_NE(tempo, 0U);
    const HFX fx = BASS_ChannelSetFX(tempo, BASS_FX_BFX_VOLUME, 1);
    ASSERT_NE(fx, 0U);
    const BASS_BFX_VOLUME params{BASS_BFX_CHANALL, 2.0F};
    ASSERT_TRUE(BASS_FXSetParameters(fx, &params));
    const auto out = pullAll(tempo);
    // A 0.5 sine doubled: RMS 0.707 (skip the edges, where an engine may fade in and out).
    const std::vector<float> middle(out.begin() + 44100, out.end() - 44100);
    EXPECT_NEAR(testsupport::rms(middle), 1.0 / std::sqrt(2.0), 0.02);
}

TEST_P(TempoRenderTest, GainOnOneChannelLeavesTheOther) {
    const HSTREAM tempo = makeTempoStream(path_, BASS_SAMPLE_FLOAT, flags());
    const HFX fx = BASS_ChannelSetFX(tempo, BASS_FX_BFX_VOLUME, 1);
    const BASS_BFX_VOLUME params{2, 0.0F};  // mute the second (right) channel
    ASSERT_TRUE(BASS_FXSetParameters(fx, &params));
    const auto out = pullAll(tempo);
    EXPECT_GT(testsupport::rms(channelOf(out, 2, 0)), 0.3);
    EXPECT_EQ(testsupport::peak(channelOf(out, 2, 1)), 0.0);
}

// The doubled gain must not clip: a 0.9 sine doubled is limited to full scale, and one that stays
// below full scale when doubled comes out exactly doubled, sample for sample.
TEST_P(TempoRenderTest, LimiterHoldsFullScaleAndLeavesQuieterMusicExact) {
    auto pull = [&](float amplitude, float gain) {
        const std::string path =
            writeFixture("sine" + std::to_string(amplitude) + ".wav",
                         testsupport::sine(440.0, 2.0, 44100, 2, amplitude), 44100, 2);
        const HSTREAM tempo = makeTempoStream(path, BASS_SAMPLE_FLOAT, flags());
        EXPECT_TRUE(BASS_ChannelSetAttribute(tempo, BASS_ATTRIB_TEMPO, -25.0F));
        const BASS_BFX_VOLUME params{BASS_BFX_CHANALL, gain};
        EXPECT_TRUE(BASS_FXSetParameters(BASS_ChannelSetFX(tempo, BASS_FX_BFX_VOLUME, 1), &params));
        auto out = pullAll(tempo);
        BASS_StreamFree(tempo);
        return out;
    };
    const auto loud = pull(0.9F, 2.0F);
    EXPECT_LE(testsupport::peak(loud), 1.0);
    const std::vector<float> middle(loud.begin() + 44100, loud.end() - 44100);
    EXPECT_NEAR(testsupport::rms(middle), 1.0 / std::sqrt(2.0), 0.03);  // a full-scale sine

    const auto plain = pull(0.4F, 1.0F);
    const auto doubled = pull(0.4F, 2.0F);
    ASSERT_EQ(plain.size(), doubled.size());
    for (std::size_t i = 0; i < plain.size(); ++i)
        ASSERT_EQ(doubled[i], plain[i] * 2.0F) << i;
}

INSTANTIATE_TEST_SUITE_P(Engines, TempoRenderTest,
                         ::testing::Values(DWORD{0}, TONVERA_FX_TEMPO_LIGHT),
                         [](const auto& info) { return info.param == 0 ? "Best" : "Light"; });

}  // namespace
