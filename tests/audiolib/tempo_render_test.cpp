// What a decoding tempo stream renders: pitch, length and level of the output, for the settings
// the player and the export use.
#include <cmath>

#include "AudiolibTestSupport.h"

namespace {

using audiolibtest::makeTempoStream;
using audiolibtest::pullAll;
using testsupport::channelOf;
using testsupport::dominantFrequency;

class TempoRenderTest : public audiolibtest::NoSoundTest {
  protected:
    void SetUp() override {
        NoSoundTest::SetUp();
        path_ =
            writeFixture("sine440.wav", testsupport::sine(440.0, 4.0, 44100, 2, 0.5F), 44100, 2);
    }

    std::vector<float> render(DWORD attribute, float value) {
        const HSTREAM tempo = makeTempoStream(path_, BASS_SAMPLE_FLOAT, BASS_STREAM_DECODE);
        EXPECT_NE(tempo, 0U) << BASS_ErrorGetCode();
        EXPECT_TRUE(BASS_ChannelSetAttribute(tempo, attribute, value));
        auto frames = pullAll(tempo);
        EXPECT_TRUE(BASS_StreamFree(tempo));
        return frames;
    }

    std::string path_;
};

TEST_F(TempoRenderTest, NeutralSettingsKeepLengthAndFrequency) {
    const auto out = render(BASS_ATTRIB_TEMPO, 0.0F);
    EXPECT_NEAR(out.size() / 2.0, 4.0 * 44100, 4.0 * 44100 * 0.002);
    EXPECT_NEAR(dominantFrequency(channelOf(out, 2, 0), 44100), 440.0, 440.0 * 0.005);
}

TEST_F(TempoRenderTest, PitchTwoSemitonesUpKeepsLength) {
    const auto out = render(BASS_ATTRIB_TEMPO_PITCH, 2.0F);
    const double expected = 440.0 * std::pow(2.0, 2.0 / 12.0);  // 493.88 Hz
    EXPECT_NEAR(dominantFrequency(channelOf(out, 2, 0), 44100), expected, expected * 0.005);
    EXPECT_NEAR(out.size() / 2.0, 4.0 * 44100, 4.0 * 44100 * 0.005);
}

TEST_F(TempoRenderTest, SlowerTempoLengthensWithoutChangingPitch) {
    const auto out = render(BASS_ATTRIB_TEMPO, -25.0F);
    const double expected = 4.0 * 44100 * 4.0 / 3.0;
    EXPECT_NEAR(out.size() / 2.0, expected, expected * 0.005);
    EXPECT_NEAR(dominantFrequency(channelOf(out, 2, 1), 44100), 440.0, 440.0 * 0.005);
}

TEST_F(TempoRenderTest, FasterTempoShortens) {
    const auto out = render(BASS_ATTRIB_TEMPO, 100.0F);
    EXPECT_NEAR(out.size() / 2.0, 2.0 * 44100, 2.0 * 44100 * 0.005);
}

TEST_F(TempoRenderTest, HigherRateRaisesPitchAndShortens) {
    const auto out = render(BASS_ATTRIB_FREQ, 48000.0F);
    const double factor = 48000.0 / 44100.0;
    EXPECT_NEAR(dominantFrequency(channelOf(out, 2, 0), 44100), 440.0 * factor,
                440.0 * factor * 0.005);
    EXPECT_NEAR(out.size() / 2.0, 4.0 * 44100 / factor, 4.0 * 44100 / factor * 0.005);
}

TEST_F(TempoRenderTest, GainEffectScalesAmplitude) {
    const HSTREAM tempo = makeTempoStream(path_, BASS_SAMPLE_FLOAT, BASS_STREAM_DECODE);
    ASSERT_NE(tempo, 0U);
    const HFX fx = BASS_ChannelSetFX(tempo, BASS_FX_BFX_VOLUME, 1);
    ASSERT_NE(fx, 0U);
    const BASS_BFX_VOLUME params{BASS_BFX_CHANALL, 2.0F};
    ASSERT_TRUE(BASS_FXSetParameters(fx, &params));
    const auto out = pullAll(tempo);
    // A 0.5 sine doubled: RMS 0.707 (skip the edges, where SoundTouch fades in and out).
    const std::vector<float> middle(out.begin() + 44100, out.end() - 44100);
    EXPECT_NEAR(testsupport::rms(middle), 1.0 / std::sqrt(2.0), 0.02);
}

TEST_F(TempoRenderTest, GainOnOneChannelLeavesTheOther) {
    const HSTREAM tempo = makeTempoStream(path_, BASS_SAMPLE_FLOAT, BASS_STREAM_DECODE);
    const HFX fx = BASS_ChannelSetFX(tempo, BASS_FX_BFX_VOLUME, 1);
    const BASS_BFX_VOLUME params{2, 0.0F};  // mute the second (right) channel
    ASSERT_TRUE(BASS_FXSetParameters(fx, &params));
    const auto out = pullAll(tempo);
    EXPECT_GT(testsupport::rms(channelOf(out, 2, 0)), 0.3);
    EXPECT_EQ(testsupport::peak(channelOf(out, 2, 1)), 0.0);
}

}  // namespace
