// The playback path from stream to mixer output, driven by hand (no device, no threads): what is
// heard, how level changes, pause, seek, loop and the end sound, and where the position stands.
#include <cmath>

#include "AudiolibTestSupport.h"
#include "PipelineHarness.h"

namespace {

using audiolibtest::largestStep;
using audiolibtest::PipelineHarness;
using testsupport::channelOf;

using testsupport::kRate;
constexpr int kFadeFrames = 221;  // 5 ms at 44.1 kHz, rounded up

// Left: 440 Hz at 0.5, right: 660 Hz at 0.3, so channel order mistakes show.
std::vector<float> twoChannelSignal(double seconds) {
    const auto left = testsupport::sine(440.0, seconds, kRate, 1, 0.5F);
    const auto right = testsupport::sine(660.0, seconds, kRate, 1, 0.3F);
    std::vector<float> frames(left.size() * 2);
    for (std::size_t i = 0; i < left.size(); ++i) {
        frames[2 * i] = left[i];
        frames[2 * i + 1] = right[i];
    }
    return frames;
}

class PlaybackPipelineTest : public ::testing::Test {
  protected:
    std::string writeFloatWav(const std::string& name, const std::vector<float>& frames,
                              int channels, int rate = kRate) {
        const std::string path = dir_.file(name);
        std::string error;
        EXPECT_TRUE(testsupport::writeWav(path, frames, rate, channels,
                                          testsupport::WavSampleFormat::Float32, &error))
            << error;
        return path;
    }

    // Largest difference between output frames [from, from + count) and source frames starting
    // at sourceFrame, both stereo.
    static float mismatch(const std::vector<float>& out, std::size_t from,
                          const std::vector<float>& source, std::size_t sourceFrame,
                          std::size_t count, float scale = 1.0F) {
        float worst = 0.0F;
        for (std::size_t i = 0; i < count * 2; ++i) {
            worst =
                std::max(worst, std::fabs(out[from * 2 + i] - scale * source[sourceFrame * 2 + i]));
        }
        return worst;
    }

    testsupport::TempDir dir_;
};

TEST_F(PlaybackPipelineTest, PlainStreamComesOutUnchangedAfterTheFadeIn) {
    const auto source = twoChannelSignal(1.0);
    PipelineHarness harness(writeFloatWav("two.wav", source, 2), false);
    ASSERT_TRUE(harness.ok());
    harness.playback().play();
    const auto out = harness.run(kRate / 2);
    EXPECT_LT(mismatch(out, kFadeFrames, source, kFadeFrames, 20000), 1e-6F);
    // The fade-in starts from silence rather than with a jump to full level.
    EXPECT_LT(std::fabs(out[0]), 0.01F);
    EXPECT_LT(largestStep(out, 2, 0), 0.07F);
}

TEST_F(PlaybackPipelineTest, VolumeAndGainGlideToTheirNewLevelWithinAFewMilliseconds) {
    const auto source = twoChannelSignal(1.0);
    PipelineHarness harness(writeFloatWav("two.wav", source, 2), false);
    harness.playback().play();
    harness.run(4096);
    ASSERT_TRUE(harness.stream().setAttribute(BASS_ATTRIB_VOL, 0.5F) == BASS_OK);
    const auto halved = harness.run(PipelineHarness::kCallbackFrames);
    // From the next callback on: a 5 ms glide (no jump), then exactly half.
    EXPECT_LT(mismatch(halved, 0, source, 4096, 1), 0.01F);
    EXPECT_LT(largestStep(halved, 2, 0), 0.07F);
    EXPECT_LT(mismatch(halved, kFadeFrames, source, 4096 + kFadeFrames,
                       PipelineHarness::kCallbackFrames - kFadeFrames, 0.5F),
              1e-6F);

    auto& gains = harness.stream().gains();
    const int fx = gains.add();
    ASSERT_TRUE(gains.set(fx, {audiolib::GainEffects::kAllChannels, 2.0F}));
    const auto restored = harness.run(PipelineHarness::kCallbackFrames);
    EXPECT_LT(mismatch(restored, kFadeFrames, source, 4096 + 512 + kFadeFrames,
                       PipelineHarness::kCallbackFrames - kFadeFrames),
              1e-6F);
}

TEST_F(PlaybackPipelineTest, PauseFadesOutHoldsThePositionAndResumesThere) {
    const auto source = twoChannelSignal(2.0);
    PipelineHarness harness(writeFloatWav("two.wav", source, 2), false);
    harness.playback().play();
    const auto played = harness.run(kRate / 4).size() / 2;
    harness.playback().pause();
    const auto fading = harness.run(2048);
    EXPECT_LT(largestStep(fading, 2, 0), 0.07F);  // no click: the sine's own step is ~0.031
    for (std::size_t i = 2 * 512; i < fading.size(); ++i)
        ASSERT_EQ(fading[i], 0.0F) << i;
    const double held = harness.playback().position();
    harness.run(4096);
    EXPECT_EQ(harness.playback().position(), held);

    harness.playback().play();
    const auto resumed = harness.run(4096);
    EXPECT_LT(largestStep(resumed, 2, 0), 0.07F);
    // After the fade-in the sound continues exactly where the fade-out left it.
    EXPECT_LT(mismatch(resumed, kFadeFrames, source, played + 2 * kFadeFrames, 1000), 1e-6F);
}

TEST_F(PlaybackPipelineTest, SeekWhilePlayingIsReportedAtOnceAndHeardWithoutAClick) {
    const auto source = twoChannelSignal(4.0);
    PipelineHarness harness(writeFloatWav("two.wav", source, 2), false);
    harness.playback().play();
    harness.run(kRate / 2);
    harness.playback().requestSeek(3.0 * kRate);
    EXPECT_EQ(harness.playback().position(), 3.0 * kRate);
    const auto out = harness.run(kRate / 4);
    EXPECT_LT(largestStep(out, 2, 0), 0.07F);
    // The old sound fades out to one silent frame, and the new one fades in right after it:
    // no gap, and from then on the output is the source from the seek target on.
    std::size_t bottom = 0;
    while (bottom < out.size() / 2 && out[2 * bottom] != 0.0F)
        ++bottom;
    EXPECT_EQ(bottom, static_cast<std::size_t>(kFadeFrames - 1));
    const std::size_t start = bottom + 1;
    EXPECT_LT(mismatch(out, start + kFadeFrames, source, 3 * kRate + kFadeFrames, 2000), 1e-6F);
    const double heard =
        3.0 * kRate + (out.size() / 2 - 2 * PipelineHarness::kCallbackFrames) - start;
    EXPECT_NEAR(harness.playback().position(), heard, 1.0);
}

TEST_F(PlaybackPipelineTest, NonLoopingStreamFinishesAtItsLength) {
    const auto source = twoChannelSignal(0.3);
    PipelineHarness harness(writeFloatWav("short.wav", source, 2), false);
    harness.playback().play();
    const auto out = harness.run(kRate / 2);
    EXPECT_TRUE(harness.playback().finished());
    EXPECT_EQ(harness.playback().position(), static_cast<double>(source.size() / 2));
    for (std::size_t i = source.size() + 2; i < out.size(); ++i)
        ASSERT_EQ(out[i], 0.0F);
    // Playing again after the end starts over.
    harness.playback().play();
    EXPECT_FALSE(harness.playback().finished());
    harness.run(4096);
    EXPECT_LT(harness.playback().position(), 5000.0);
}

// A 441 Hz sine of exactly one second holds whole periods, so a seamless loop has no step larger
// than the sine's own (2 pi 441 / 44100 * 0.5 = 0.031) and no quiet gap at the joint.
class LoopTest : public PlaybackPipelineTest, public ::testing::WithParamInterface<float> {};

TEST_P(LoopTest, TempoStreamLoopsWithoutGapOrClick) {
    const auto source = testsupport::sine(441.0, 1.0, kRate, 2, 0.5F);
    PipelineHarness harness(writeFloatWav("loop.wav", source, 2), true, BASS_SAMPLE_LOOP);
    ASSERT_TRUE(harness.stream().setAttribute(BASS_ATTRIB_TEMPO, GetParam()) == BASS_OK);
    harness.playback().play();
    const auto out = harness.run(3 * kRate);
    const std::vector<float> afterFadeIn(out.begin() + 2 * kFadeFrames, out.end());
    EXPECT_LT(largestStep(afterFadeIn, 2, 0), 0.045F);
    double quietest = 1.0;
    // From 20 ms on: a sine that starts at full level from silence is smeared over the stretch
    // engine's window at the very start; the joint comes much later.
    for (std::size_t i = 1764; i + 882 <= afterFadeIn.size(); i += 882) {
        const std::vector<float> window(afterFadeIn.begin() + i, afterFadeIn.begin() + i + 882);
        quietest = std::min(quietest, testsupport::rms(window));
    }
    EXPECT_GT(quietest, 0.3);  // a full sine window reads 0.354
    EXPECT_FALSE(harness.playback().finished());
    EXPECT_LT(harness.playback().position(), static_cast<double>(kRate));
}

INSTANTIATE_TEST_SUITE_P(Tempos, LoopTest, ::testing::Values(0.0F, -25.0F, 60.0F));

TEST_F(PlaybackPipelineTest, PlainStreamLoopsSeamlessly) {
    const auto source = testsupport::sine(441.0, 0.5, kRate, 2, 0.5F);
    PipelineHarness harness(writeFloatWav("loop.wav", source, 2), false, BASS_SAMPLE_LOOP);
    harness.playback().play();
    const auto out = harness.run(kRate * 2);
    // After the fade-in the output is the source over and over, sample for sample.
    for (std::size_t i = kFadeFrames; i < out.size() / 2; ++i) {
        ASSERT_NEAR(out[2 * i], source[2 * (i % (source.size() / 2))], 1e-6F) << i;
    }
}

TEST_F(PlaybackPipelineTest, MonoIsHeardOnBothSides) {
    const auto source = testsupport::sine(440.0, 1.0, kRate, 1, 0.5F);
    PipelineHarness harness(writeFloatWav("mono.wav", source, 1), false);
    harness.playback().play();
    const auto out = harness.run(kRate / 2);
    for (std::size_t i = kFadeFrames; i < out.size() / 2; ++i) {
        ASSERT_NEAR(out[2 * i], source[i], 1e-6F);
        ASSERT_EQ(out[2 * i], out[2 * i + 1]);
    }
}

TEST_F(PlaybackPipelineTest, OtherRatesAreConvertedToTheDeviceRate) {
    const int rate = 48000;
    const auto source = testsupport::sine(440.0, 2.0, rate, 2, 0.5F);
    PipelineHarness harness(writeFloatWav("48k.wav", source, 2, rate), true);
    harness.playback().play();
    const auto out = harness.run(kRate);
    EXPECT_NEAR(testsupport::dominantFrequency(channelOf(out, 2, 0), kRate), 440.0, 2.0);
    // Every second of device output covers a second of the 48 kHz source; the position stands
    // at the start of the previous callback's audio.
    const double heard = (out.size() / 2.0 - 2 * PipelineHarness::kCallbackFrames) / kRate;
    EXPECT_NEAR(harness.playback().position(), heard * rate, 0.002 * rate);
}

// Audio still inside the stretcher cannot be played: after every callback the ring itself must
// hold more than another callback's worth, so one late top-up never starves the device.
TEST_F(PlaybackPipelineTest, TheRingAloneHoldsMoreThanACallbackAfterEachCallback) {
    const auto source = twoChannelSignal(3.0);
    PipelineHarness harness(writeFloatWav("two.wav", source, 2), true);
    ASSERT_TRUE(harness.ok());
    ASSERT_EQ(harness.stream().setAttribute(BASS_ATTRIB_TEMPO, -25.0F), BASS_OK);
    harness.playback().play();
    for (int i = 0; i < 100; ++i) {
        harness.run(PipelineHarness::kCallbackFrames);
        ASSERT_GE(harness.playback().queuedFrames(),
                  static_cast<std::uint64_t>(PipelineHarness::kCallbackFrames) + 200)
            << "after callback " << i;
    }
    EXPECT_EQ(harness.playback().starvedFrames(), 0U);
}

// A feeder that falls behind: the last audio in the ring fades out and the music fades back in
// once the feeder catches up, instead of cutting to silence and back at full level.
TEST_F(PlaybackPipelineTest, AStarvedRingFadesOutAndBackInInsteadOfCutting) {
    const auto source = twoChannelSignal(3.0);
    PipelineHarness harness(writeFloatWav("two.wav", source, 2), false);
    ASSERT_TRUE(harness.ok());
    harness.playback().play();
    harness.run(8192);
    std::vector<float> out;
    std::vector<float> buffer(PipelineHarness::kCallbackFrames * 2);
    for (int i = 0; i < 6; ++i) {  // callbacks with no top-up in between
        harness.mixer().process(buffer.data(), PipelineHarness::kCallbackFrames);
        out.insert(out.end(), buffer.begin(), buffer.end());
    }
    const auto resumed = harness.run(8192);
    out.insert(out.end(), resumed.begin(), resumed.end());
    EXPECT_LT(largestStep(out, 2, 0), 0.07F);
    EXPECT_EQ(harness.playback().underruns(), 1U);
    EXPECT_GT(harness.playback().starvedFrames(), 0U);
    EXPECT_NEAR(testsupport::peak(resumed), 0.5, 0.01);
}

TEST_F(PlaybackPipelineTest, PositionFollowsTheTempoRatio) {
    const auto source = testsupport::sine(440.0, 6.0, kRate, 2, 0.5F);
    PipelineHarness harness(writeFloatWav("sine.wav", source, 2), true);
    ASSERT_TRUE(harness.stream().setAttribute(BASS_ATTRIB_TEMPO, 100.0F) == BASS_OK);
    harness.playback().play();
    harness.run(kRate);
    const double start = harness.playback().position();
    const auto heard = static_cast<double>(harness.run(kRate).size() / 2);
    // Each second heard at +100 % covers two seconds of the source.
    EXPECT_NEAR(harness.playback().position() - start, 2.0 * heard, 0.005 * heard);
}

TEST_F(PlaybackPipelineTest, RecentFramesAreTheLastOnesHeard) {
    const auto source = twoChannelSignal(1.0);
    PipelineHarness harness(writeFloatWav("two.wav", source, 2), false);
    harness.playback().play();
    harness.run(PipelineHarness::kCallbackFrames);
    std::vector<float> recent(1024 * 2, 1.0F);
    harness.playback().recentFrames(recent.data(), 1024);
    for (float value : recent)
        ASSERT_EQ(value, 0.0F);  // nothing heard before the start

    harness.run(PipelineHarness::kCallbackFrames * 20);
    // The device still plays the previous callback's audio while the last one waits behind it,
    // so the position stands at the start of the previous callback; the history ends there.
    const auto heard = static_cast<std::size_t>(harness.playback().position());
    EXPECT_EQ(heard, 19U * PipelineHarness::kCallbackFrames);
    harness.playback().recentFrames(recent.data(), 1024);
    EXPECT_LT(mismatch(recent, 0, source, heard - 1024, 1024), 1e-6F);

    ASSERT_TRUE(harness.stream().setAttribute(BASS_ATTRIB_VOL, 0.25F) == BASS_OK);
    harness.playback().recentFrames(recent.data(), 1024);
    EXPECT_LT(mismatch(recent, 0, source, heard - 1024, 1024, 0.25F), 1e-6F);
}

}  // namespace
