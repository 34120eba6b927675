// The hearing tools: centre removal, focus filters and the tuning reading, measured on
// generated signals whose right answer is known.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <iterator>
#include <numbers>
#include <optional>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "audiolib/dsp/CentreCancel.h"
#include "audiolib/dsp/FocusFilter.h"
#include "audiolib/dsp/TuningEstimate.h"
#include "support/AudioFixtures.h"

namespace {

using testsupport::kRate;

// Interleaved stereo: a sine of `hz` at `left` and `right` amplitude.
std::vector<float> stereoSine(double hz, float left, float right, std::size_t frames) {
    std::vector<float> out(2 * frames);
    for (std::size_t i = 0; i < frames; ++i) {
        const auto s = static_cast<float>(std::sin(2.0 * std::numbers::pi * hz * i / kRate));
        out[2 * i] = left * s;
        out[2 * i + 1] = right * s;
    }
    return out;
}

// RMS of one channel of interleaved frames from `from` on.
double rms(const std::vector<float>& frames, int channels, int channel, std::size_t from) {
    double sum = 0.0;
    std::size_t n = 0;
    for (std::size_t i = from * channels + channel; i < frames.size(); i += channels) {
        sum += static_cast<double>(frames[i]) * frames[i];
        ++n;
    }
    return n ? std::sqrt(sum / n) : 0.0;
}

double db(double ratio) {
    return 20.0 * std::log10(ratio);
}

TEST(CentreCancelTest, TakesOutTheCentreOnlyInTheVoiceBand) {
    constexpr std::size_t kFrames = kRate * 2;
    const std::size_t warm = 3 * 2048;  // the delay, and the frames that start from silence

    {
        audiolib::CentreCancel cancel(kRate);
        auto frames = stereoSine(1000.0, 0.5F, 0.5F, kFrames);
        const double before = rms(frames, 2, 0, warm);
        cancel.process(frames.data(), kFrames);
        const double drop = db(rms(frames, 2, 0, warm) / before);
        EXPECT_LE(drop, -20.0) << "centred 1 kHz";
        EXPECT_LE(db(rms(frames, 2, 1, warm) / before), -20.0) << "centred 1 kHz, right";
    }
    {
        audiolib::CentreCancel cancel(kRate);
        const auto input = stereoSine(1000.0, 0.5F, 0.0F, kFrames);
        auto frames = input;
        cancel.process(frames.data(), kFrames);
        const std::size_t delay = cancel.latency();
        ASSERT_EQ(delay, 2048U);
        const double change = db(rms(frames, 2, 0, warm) / rms(input, 2, 0, warm));
        EXPECT_LT(std::fabs(change), 1.0) << "hard-panned 1 kHz";
        float worst = 0.0F;
        for (std::size_t i = delay; i < kFrames; ++i) {
            worst = std::max(worst, std::fabs(frames[2 * i] - input[2 * (i - delay)]));
            worst = std::max(worst, std::fabs(frames[2 * i + 1]));
        }
        EXPECT_LT(worst, 1e-4F) << "hard-panned 1 kHz is not just delayed";
    }
    {
        audiolib::CentreCancel cancel(kRate);
        auto frames = stereoSine(60.0, 0.5F, 0.5F, kFrames);
        const double before = rms(frames, 2, 0, warm);
        cancel.process(frames.data(), kFrames);
        const double change = db(rms(frames, 2, 0, warm) / before);
        EXPECT_LT(std::fabs(change), 1.0) << "centred 60 Hz";
    }
}

TEST(CentreCancelTest, BlockSizesAndResetDoNotChangeTheOutput) {
    // A centred voice-band tone, a panned one and uncorrelated noise: every bin gets a
    // different gain, so any slip in the hop bookkeeping shows.
    constexpr std::size_t kFrames = 30000;
    std::mt19937 random(7);
    std::uniform_real_distribution<float> noise(-0.1F, 0.1F);
    std::vector<float> input(2 * kFrames);
    for (std::size_t i = 0; i < kFrames; ++i) {
        const double t = static_cast<double>(i) / kRate;
        const auto centre = static_cast<float>(0.4 * std::sin(2.0 * std::numbers::pi * 700.0 * t));
        const auto side = static_cast<float>(0.3 * std::sin(2.0 * std::numbers::pi * 1900.0 * t));
        input[2 * i] = centre + side + noise(random);
        input[2 * i + 1] = centre + noise(random);
    }

    audiolib::CentreCancel whole(kRate);
    auto expected = input;
    whole.process(expected.data(), kFrames);

    audiolib::CentreCancel pieces(kRate);
    auto scratch = input;
    pieces.process(scratch.data(), 5000);  // something to forget
    pieces.reset();
    auto actual = input;
    const std::size_t sizes[] = {1, 37, 1000, 511, 513, 2048};
    std::size_t done = 0;
    for (std::size_t n = 0; done < kFrames; ++n) {
        const std::size_t size = std::min(sizes[n % std::size(sizes)], kFrames - done);
        pieces.process(actual.data() + 2 * done, size);
        done += size;
    }
    for (std::size_t i = 0; i < actual.size(); ++i)
        ASSERT_EQ(actual[i], expected[i]) << "sample " << i;
}

TEST(FocusFilterTest, BandsShapeTheLevelsTheyNameAndOffIsUntouched) {
    constexpr std::size_t kFrames = kRate;
    const std::size_t settle = kFrames / 2;
    // Level change of a sine of `hz` in dB, through the filter in uneven blocks (one longer
    // than the filter's own pieces).
    auto change = [&](const audiolib::FocusSpec& spec, double hz) {
        audiolib::FocusFilter filter(kRate, 2);
        EXPECT_TRUE(filter.set(spec));
        EXPECT_TRUE(filter.active());
        const auto input = stereoSine(hz, 0.5F, 0.25F, kFrames);
        auto frames = input;
        const std::size_t sizes[] = {441, 5000, 1};
        std::size_t done = 0;
        for (std::size_t n = 0; done < kFrames; ++n) {
            const std::size_t size = std::min(sizes[n % std::size(sizes)], kFrames - done);
            filter.process(frames.data() + 2 * done, size);
            done += size;
        }
        const double right = db(rms(frames, 2, 1, settle) / rms(input, 2, 1, settle));
        const double left = db(rms(frames, 2, 0, settle) / rms(input, 2, 0, settle));
        EXPECT_NEAR(left, right, 0.1) << "channels filtered alike";
        return left;
    };

    audiolib::FocusSpec bass;
    bass.band = audiolib::FocusBand::Bass;
    const double bassLow = change(bass, 80.0);
    const double bassHigh = change(bass, 2000.0);
    EXPECT_GT(bassLow, -1.5);
    EXPECT_LE(bassHigh, -12.0);

    audiolib::FocusSpec highs;
    highs.band = audiolib::FocusBand::Highs;
    const double highsLow = change(highs, 80.0);
    const double highsHigh = change(highs, 8000.0);
    EXPECT_LE(highsLow, -12.0);
    EXPECT_GT(highsHigh, -1.5);

    audiolib::FocusSpec custom;
    custom.band = audiolib::FocusBand::Custom;
    custom.centreHz = 1000.0F;
    custom.widthOctaves = 1.0F;
    custom.gainDb = 12.0F;
    const double peak = change(custom, 1000.0);
    EXPECT_NEAR(peak, 12.0, 1.5);

    audiolib::FocusFilter filter(kRate, 2);
    ASSERT_TRUE(filter.set(custom));
    ASSERT_TRUE(filter.set(audiolib::FocusSpec{}));
    EXPECT_FALSE(filter.active());
    const auto input = stereoSine(1000.0, 0.5F, -0.3F, 1000);
    auto frames = input;
    filter.process(frames.data(), 1000);
    EXPECT_EQ(frames, input) << "off";

    audiolib::FocusSpec tooHigh = custom;
    tooHigh.centreHz = 30000.0F;
    audiolib::FocusSpec aboveNyquist = custom;
    aboveNyquist.centreHz = 19000.0F;
    audiolib::FocusFilter slow(32000, 2);
    audiolib::FocusSpec notANumber = custom;
    notANumber.gainDb = NAN;
    ASSERT_TRUE(filter.set(custom));
    EXPECT_FALSE(filter.set(tooHigh));
    EXPECT_FALSE(filter.active());
    EXPECT_FALSE(filter.set(notANumber));
    EXPECT_FALSE(slow.set(aboveNyquist));
    EXPECT_FALSE(slow.active());
}

// A chord of A3, C#4, E4 and A4 with four harmonics each, `cents` off concert pitch.
std::vector<float> chord(double cents, std::size_t frames) {
    const int semitones[] = {-12, -8, -5, 0};
    std::vector<float> out(frames);
    for (int n : semitones) {
        const double hz = 440.0 * std::pow(2.0, (n + cents / 100.0) / 12.0);
        for (int h = 1; h <= 4; ++h) {
            const double amplitude = 0.1 / h;
            for (std::size_t i = 0; i < frames; ++i)
                out[i] += static_cast<float>(
                    amplitude * std::sin(2.0 * std::numbers::pi * h * hz * i / kRate + n));
        }
    }
    return out;
}

TEST(TuningEstimateTest, ReadsTheOffsetOfAChordAndNothingFromSilenceOrNoise) {
    constexpr std::size_t kFrames = 10 * kRate;
    for (const double cents : {18.0, -31.0, 0.0, 45.0}) {
        const auto music = chord(cents, kFrames);
        const auto tuning = audiolib::estimateTuning(music.data(), kFrames, kRate);
        ASSERT_TRUE(tuning.has_value()) << cents;
        EXPECT_NEAR(tuning->cents, cents, 2.0);
    }

    const std::vector<float> silence(kFrames, 0.0F);
    EXPECT_FALSE(audiolib::estimateTuning(silence.data(), kFrames, kRate).has_value());

    std::mt19937 random(3);
    std::uniform_real_distribution<float> uniform(-0.5F, 0.5F);
    std::vector<float> noise(kFrames);
    for (float& sample : noise)
        sample = uniform(random);
    EXPECT_FALSE(audiolib::estimateTuning(noise.data(), kFrames, kRate).has_value());

    const auto shortMusic = chord(18.0, kRate / 2);
    EXPECT_FALSE(audiolib::estimateTuning(shortMusic.data(), shortMusic.size(), kRate));
}

}  // namespace
