// The small signal-processing pieces whose arithmetic is easy to get wrong.
#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "audiolib/dsp/AntiAliasFilter.h"
#include "audiolib/dsp/LevelRamp.h"
#include "audiolib/dsp/PeakLimiter.h"
#include "audiolib/dsp/SampleFormat.h"
#include "audiolib/dsp/StereoMapper.h"
#include "audiolib/playback/SampleHistory.h"
#include "audiolib/stream/GainEffects.h"

extern "C" {
#include <libavutil/channel_layout.h>
}

namespace {

using audiolib::floatToInt16;

TEST(SampleFormatTest, ConvertsWithRoundingAndSaturation) {
    EXPECT_EQ(floatToInt16(0.0F), 0);
    EXPECT_EQ(floatToInt16(-1.0F), -32768);
    EXPECT_EQ(floatToInt16(1.0F), 32767);
    EXPECT_EQ(floatToInt16(0.5F), 16384);
    EXPECT_EQ(floatToInt16(1.0F / 65536.0F), 0);  // half a step rounds to even
    EXPECT_EQ(floatToInt16(3.0F / 65536.0F), 2);
    EXPECT_EQ(floatToInt16(1.5F), 32767);
    EXPECT_EQ(floatToInt16(-7.0F), -32768);
    EXPECT_EQ(floatToInt16(INFINITY), 32767);
    EXPECT_EQ(floatToInt16(-INFINITY), -32768);
    EXPECT_EQ(floatToInt16(NAN), 0);
}

TEST(SampleFormatTest, BlockConversionMatchesSampleBySample) {
    // The block version takes a faster path; it must agree on every kind of value.
    std::vector<float> in = {0.0F,     -1.0F, 1.0F,   0.5F,      1.0F / 65536.0F, 3.0F / 65536.0F,
                             1.5F,     -7.0F, NAN,    INFINITY,  -INFINITY,       -0.2500153F,
                             0.99999F, 1e-9F, -1e-9F, 0.123456F, -0.987654F};
    for (int i = 0; i < 100; ++i)
        in.push_back(std::sin(i * 0.37F) * 1.3F);
    std::vector<std::int16_t> block(in.size());
    audiolib::floatToInt16(in.data(), block.data(), in.size());
    for (std::size_t i = 0; i < in.size(); ++i) {
        ASSERT_EQ(block[i], floatToInt16(in[i])) << i << " " << in[i];
    }
}

TEST(StereoMapperTest, MonoGoesToBothSidesAtFullLevel) {
    const audiolib::StereoMapper mapper(1);
    const float in[] = {0.5F, -0.25F};
    float out[4] = {};
    mapper.map(in, out, 2);
    EXPECT_EQ(out[0], 0.5F);
    EXPECT_EQ(out[1], 0.5F);
    EXPECT_EQ(out[2], -0.25F);
    EXPECT_EQ(out[3], -0.25F);
}

TEST(StereoMapperTest, FivePointOneKeepsSidesApartDropsLfeAndCannotClip) {
    const audiolib::StereoMapper mapper(6);  // FL FR FC LFE BL BR
    const float left[] = {1.0F, 0.0F, 0.0F, 0.0F, 0.0F, 0.0F};
    const float lfe[] = {0.0F, 0.0F, 0.0F, 1.0F, 0.0F, 0.0F};
    const float centre[] = {0.0F, 0.0F, 1.0F, 0.0F, 0.0F, 0.0F};
    const float all[] = {1.0F, 1.0F, 1.0F, 1.0F, 1.0F, 1.0F};
    float out[2];
    mapper.map(left, out, 1);
    EXPECT_GT(out[0], 0.3F);
    EXPECT_EQ(out[1], 0.0F);
    mapper.map(lfe, out, 1);
    EXPECT_EQ(out[0], 0.0F);
    EXPECT_EQ(out[1], 0.0F);
    mapper.map(centre, out, 1);
    EXPECT_EQ(out[0], out[1]);
    EXPECT_NEAR(out[0] / mapper.weight(0, 0), std::sqrt(0.5), 1e-6);  // centre at -3 dB
    mapper.map(all, out, 1);
    EXPECT_NEAR(out[0], 1.0F, 1e-6F);
    EXPECT_NEAR(out[1], 1.0F, 1e-6F);
}

TEST(StereoMapperTest, EveryLayoutUpToEightChannelsReachesBothSides) {
    for (int channels = 2; channels <= 8; ++channels) {
        const audiolib::StereoMapper mapper(channels);
        float sumLeft = 0.0F;
        float sumRight = 0.0F;
        for (int c = 0; c < channels; ++c) {
            sumLeft += mapper.weight(0, c);
            sumRight += mapper.weight(1, c);
        }
        EXPECT_NEAR(sumLeft, 1.0F, 1e-5F) << channels;
        EXPECT_NEAR(sumRight, 1.0F, 1e-5F) << channels;
    }
}

// The file's own layout decides, not its channel count: three channels may be 2.1 (whose LFE
// must not play on both sides as if it were a centre) and four may be quad (rear pair, no centre).
TEST(StereoMapperTest, FollowsTheFilesLayoutRatherThanItsChannelCount) {
    const audiolib::StereoMapper twoOne(3, AV_CH_LAYOUT_2POINT1);  // FL FR LFE
    EXPECT_EQ(twoOne.weight(0, 2), 0.0F);
    EXPECT_EQ(twoOne.weight(1, 2), 0.0F);
    EXPECT_EQ(twoOne.weight(0, 0), 1.0F);  // nothing else to make room for: full level
    EXPECT_EQ(twoOne.weight(1, 0), 0.0F);

    const audiolib::StereoMapper quad(4, AV_CH_LAYOUT_QUAD);  // FL FR BL BR
    EXPECT_GT(quad.weight(0, 2), 0.0F);
    EXPECT_EQ(quad.weight(1, 2), 0.0F);
    EXPECT_EQ(quad.weight(0, 3), 0.0F);
    EXPECT_GT(quad.weight(1, 3), 0.0F);
    const float all[] = {1.0F, 1.0F, 1.0F, 1.0F};
    float out[2];
    quad.map(all, out, 1);
    EXPECT_LE(out[0], 1.0F + 1e-6F);
    EXPECT_NEAR(out[0], out[1], 1e-6F);

    // A mask that does not match the count is ignored in favour of the default layout.
    const audiolib::StereoMapper mismatched(6, AV_CH_LAYOUT_STEREO);
    EXPECT_EQ(mismatched.weight(0, 3), 0.0F);  // 5.1's LFE
}

TEST(SampleHistoryTest, ReadsTheFramesBeforeAPositionAcrossTheWrap) {
    audiolib::SampleHistory history(2, 1000);  // two seconds: 2000 frames
    std::vector<float> frames(2 * 700);
    float next = 0.0F;
    for (int round = 0; round < 5; ++round) {  // 3500 frames: wraps once
        for (auto& value : frames)
            value = next++;
        history.write(frames.data(), 700);
    }
    ASSERT_EQ(history.written(), 3500U);
    std::vector<float> out(2 * 300);
    history.read(2100, out.data(), 300);  // frames 1800..2099 straddle the wrap at 2000
    for (int i = 0; i < 600; ++i)
        ASSERT_EQ(out[i], 2.0F * 1800 + i) << i;
}

TEST(SampleHistoryTest, MissingFramesReadAsZerosInFront) {
    audiolib::SampleHistory history(1, 1000);
    const float frames[] = {1.0F, 2.0F, 3.0F};
    history.write(frames, 3);
    float out[5] = {9, 9, 9, 9, 9};
    history.read(3, out, 5);
    EXPECT_EQ(out[0], 0.0F);
    EXPECT_EQ(out[1], 0.0F);
    EXPECT_EQ(out[2], 1.0F);
    EXPECT_EQ(out[4], 3.0F);
    // Asking beyond what was written is cut at what exists.
    history.read(10, out, 2);
    EXPECT_EQ(out[0], 2.0F);
    EXPECT_EQ(out[1], 3.0F);
}

TEST(SampleHistoryTest, NeverHandsOutMoreThanHalfASecond) {
    // Older frames may already be overwritten by the feeder, so they read as zeros.
    audiolib::SampleHistory history(1, 1000);
    std::vector<float> frames(1000);
    for (int i = 0; i < 1000; ++i)
        frames[i] = static_cast<float>(i + 1);
    history.write(frames.data(), 1000);
    std::vector<float> out(800, 9.0F);
    history.read(1000, out.data(), 800);
    for (int i = 0; i < 300; ++i)
        ASSERT_EQ(out[i], 0.0F) << i;
    for (int i = 300; i < 800; ++i)
        ASSERT_EQ(out[i], static_cast<float>(i + 201)) << i;
}

TEST(LevelRampTest, GlidesLinearlyAndRetargetsFromWhereItStands) {
    audiolib::LevelRamp ramp(4, 1.0F);
    EXPECT_EQ(ramp.next(), 1.0F);
    ramp.setTarget(0.0F);
    EXPECT_EQ(ramp.next(), 1.0F);
    EXPECT_EQ(ramp.next(), 0.75F);
    ramp.setTarget(1.0F);  // turned back halfway: no jump
    EXPECT_EQ(ramp.next(), 0.5F);
    EXPECT_EQ(ramp.next(), 0.625F);
    ramp.next();
    ramp.next();
    EXPECT_EQ(ramp.next(), 1.0F);
    EXPECT_EQ(ramp.next(), 1.0F);
    ramp.jumpTo(0.25F);
    EXPECT_EQ(ramp.next(), 0.25F);
}

TEST(GainEffectsTest, AllChannelGainsMultiplyAndSingleChannelsStaySeparate) {
    audiolib::GainEffects gains(2);
    const int a = gains.add();
    const int b = gains.add();
    EXPECT_EQ(gains.allChannels(), 1.0F);
    ASSERT_TRUE(gains.set(a, {-1, 2.0F}));
    ASSERT_TRUE(gains.set(b, {-1, 0.75F}));
    EXPECT_EQ(gains.allChannels(), 1.5F);
    ASSERT_TRUE(gains.set(b, {1, 0.5F}));
    EXPECT_EQ(gains.allChannels(), 2.0F);
    float frames[] = {1.0F, 1.0F};
    gains.applyPerChannel(frames, 1);
    EXPECT_EQ(frames[0], 0.5F);
    EXPECT_EQ(frames[1], 1.0F);
    EXPECT_FALSE(gains.set(b, {3, 1.0F}));
    EXPECT_FALSE(gains.set(b, {-2, 1.0F}));
    EXPECT_FALSE(gains.set(99, {-1, 1.0F}));
    EXPECT_EQ(gains.peakFactor(), 2.0F);  // the louder, unmuted channel
    ASSERT_TRUE(gains.remove(a));
    EXPECT_EQ(gains.allChannels(), 1.0F);
}

// Quiet passages come out bit for bit (only delayed); a loud burst in the middle is held at the
// ceiling from its very first sample, and the level is exactly 1 again some time after it.
TEST(PeakLimiterTest, ExactBelowTheCeilingAndNeverAboveIt) {
    constexpr int kRate = 44100;
    audiolib::PeakLimiter limiter(kRate, 2);
    limiter.setCeiling(0.5F);
    const std::size_t delay = limiter.lookAheadFrames();
    std::vector<float> in(2 * kRate);
    for (std::size_t i = 0; i < in.size() / 2; ++i) {
        const bool loud = i >= 20000 && i < 20500;
        const float v = (loud ? 0.9F : 0.3F) * std::sin(0.05F * static_cast<float>(i));
        in[2 * i] = v;
        in[2 * i + 1] = -v;
    }
    std::vector<float> out(in.size());
    // In blocks, as a stream renders: those that need nothing take a faster path, before the
    // loud part and again once the level is back.
    const std::size_t frames = in.size() / 2;
    for (std::size_t at = 0; at < frames; at += 1000)
        limiter.process(in.data() + 2 * at, out.data() + 2 * at,
                        std::min<std::size_t>(1000, frames - at));
    for (std::size_t i = 0; i < out.size(); ++i)
        ASSERT_LE(std::fabs(out[i]), 0.5F) << i;
    for (std::size_t i = 0; i + delay < 20000 - delay; ++i)
        ASSERT_EQ(out[2 * (i + delay)], in[2 * i]) << i;
    for (std::size_t i = 70000; i + delay < in.size() / 2; ++i)
        ASSERT_EQ(out[2 * (i + delay) + 1], in[2 * i + 1]) << i;
}

// A whole block that needs nothing is moved on at once; one frame at a time (shorter than the
// look-ahead) never is. Both must give the same samples: quiet stretches long enough for the level
// to come back to exactly 1, a loud block arriving straight after one (the look-ahead then lowers
// frames the quiet block left in the delay), quiet blocks still under a loud one's release, and
// block sizes from a frame to thousands.
TEST(PeakLimiterTest, WholeBlocksGiveWhatFrameByFrameGives) {
    constexpr int kRate = 44100;
    audiolib::PeakLimiter whole(kRate, 2);
    audiolib::PeakLimiter single(kRate, 2);
    whole.setCeiling(0.5F);
    single.setCeiling(0.5F);
    std::mt19937 random(11);
    std::uniform_int_distribution<std::size_t> largeBlock(1, 3000);
    std::uniform_int_distribution<std::size_t> smallBlock(1, 2 * whole.lookAheadFrames());
    std::bernoulli_distribution small(0.1);
    std::uniform_real_distribution<float> sample(-1.0F, 1.0F);
    std::vector<float> in;
    std::vector<float> outWhole;
    std::vector<float> outSingle;
    for (int b = 0; b < 360; ++b) {
        const std::size_t frames = small(random) ? smallBlock(random) : largeBlock(random);
        // About 80000 quiet frames between loud blocks: the level is exactly 1 again by then.
        const float level = b % 60 == 30 ? 0.9F : 0.49F;
        in.resize(2 * frames);
        for (float& v : in)
            v = level * sample(random);
        outWhole.resize(in.size());
        outSingle.resize(in.size());
        whole.process(in.data(), outWhole.data(), frames);
        for (std::size_t i = 0; i < frames; ++i)
            single.process(in.data() + 2 * i, outSingle.data() + 2 * i, 1);
        ASSERT_EQ(outWhole, outSingle) << "block " << b << " of " << frames << " frames";
        for (const float v : outWhole)
            ASSERT_LE(std::fabs(v), 0.5F) << "block " << b;
    }
}

// The anti-alias filter's impulse response, read one frame at a time (so through the plain
// one-output loop, not the wide ones): input frame kDelay carries a one, and since the filter
// hides its own delay, output frame n is then tap n.
std::vector<double> antiAliasImpulseResponse(double pitchFactor) {
    using audiolib::AntiAliasFilter;
    AntiAliasFilter filter(1);
    filter.setPitchFactor(pitchFactor);
    std::vector<double> taps;
    for (std::size_t n = 0; taps.size() < AntiAliasFilter::kTaps; ++n) {
        float frame = n == AntiAliasFilter::kDelay ? 1.0F : 0.0F;
        if (filter.process(&frame, 1) == 1)
            taps.push_back(frame);
    }
    return taps;
}

// Blocks of any size, through whichever wide loops they reach, for any channel count, give the
// plain convolution of the whole signal with that impulse response, shifted back by the delay:
// a wide loop reading a wrong input, a channel mixed up with another, history lost between blocks
// or kept across a reset, or a wrong count of frames swallowed would each show. Below a pitch
// factor of 1 the response must be the delay alone; above it, a symmetric low-pass with unity
// gain at DC.
TEST(AntiAliasFilterTest, BlocksOfAnySizeGiveTheDirectFormWithoutTheDelay) {
    using audiolib::AntiAliasFilter;
    constexpr std::size_t kTaps = AntiAliasFilter::kTaps;
    constexpr std::size_t kDelay = AntiAliasFilter::kDelay;
    std::mt19937 random(23);
    std::bernoulli_distribution smallBlock(0.3);
    std::uniform_int_distribution<std::size_t> smallSize(1, 40);
    std::uniform_int_distribution<std::size_t> anySize(1, AntiAliasFilter::kMaxFrames);
    std::uniform_real_distribution<float> sample(-1.0F, 1.0F);
    for (const double factor : {0.8, 1.0, 1.25, 2.0, 3.0}) {
        const std::vector<double> taps = antiAliasImpulseResponse(factor);
        double dcGain = 0.0;
        for (std::size_t k = 0; k < kTaps; ++k) {
            ASSERT_EQ(taps[k], taps[kTaps - 1 - k]) << "factor " << factor << " tap " << k;
            if (factor <= 1.0) {
                ASSERT_EQ(taps[k], k == kDelay ? 1.0 : 0.0) << "factor " << factor << " tap " << k;
            }
            dcGain += taps[k];
        }
        ASSERT_NEAR(dcGain, 1.0, 1e-5) << "factor " << factor;
        if (factor > 1.0) {
            ASSERT_LT(taps[kDelay], 0.9) << "factor " << factor;  // filters, not only delays
        }
        for (const std::size_t channels : {1U, 2U, 6U}) {
            AntiAliasFilter filter(static_cast<int>(channels));
            filter.setPitchFactor(factor);
            for (int run = 0; run < 2; ++run) {
                filter.reset();
                std::vector<float> in;
                std::vector<float> out;
                std::size_t toSwallow = kDelay;
                std::vector<float> block;
                for (int b = 0; b < 30 || in.size() < kDelay * channels; ++b) {
                    const std::size_t frames =
                        smallBlock(random) ? smallSize(random) : anySize(random);
                    block.resize(frames * channels);
                    for (float& v : block)
                        v = sample(random);
                    in.insert(in.end(), block.begin(), block.end());
                    const std::size_t written = filter.process(block.data(), frames);
                    const std::size_t swallowed = std::min(toSwallow, frames);
                    toSwallow -= swallowed;
                    ASSERT_EQ(written, frames - swallowed) << "block " << b;
                    out.insert(out.end(), block.begin(), block.begin() + written * channels);
                }
                // The silence after the end flushes the last kDelay frames out.
                std::vector<float> silence(kDelay * channels, 0.0F);
                ASSERT_EQ(filter.process(silence.data(), kDelay), kDelay);
                out.insert(out.end(), silence.begin(), silence.end());
                ASSERT_EQ(out.size(), in.size());
                const std::size_t total = in.size() / channels;
                double worst = 0.0;
                for (std::size_t n = 0; n < total; ++n) {
                    for (std::size_t c = 0; c < channels; ++c) {
                        double expected = 0.0;
                        for (std::size_t k = 0; k < kTaps; ++k) {
                            if (n + kDelay >= k && n + kDelay - k < total)
                                expected += taps[k] * in[(n + kDelay - k) * channels + c];
                        }
                        worst = std::max(worst, std::fabs(out[n * channels + c] - expected));
                    }
                }
                EXPECT_LE(worst, 1e-6)
                    << "factor " << factor << ", " << channels << " channels, run " << run;
            }
        }
    }
}

}  // namespace
