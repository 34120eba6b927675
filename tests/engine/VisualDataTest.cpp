#include "engine/VisualData.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

namespace {

using visualdata::kFftBins;
using visualdata::scaleSpectrum;
using visualdata::traceWaveform;

TEST(SpectrumScale, MagnitudesMapToTheDrawingHeight) {
    float bins[kFftBins] = {};
    bins[0] = 1.0F;  // DC is never shown
    bins[1] = 0.0F;
    bins[2] = 0.01F;
    bins[3] = 0.0001F;
    bins[4] = 0.25F;
    const std::vector<int> values = scaleSpectrum(bins, 100, 127);
    ASSERT_EQ(values.size(), 50U);
    EXPECT_EQ(values[0], -4);   // silence sits below the bottom edge
    EXPECT_EQ(values[1], 34);   // sqrt(0.01) * 381 - 4 = 34.1
    EXPECT_EQ(values[2], 0);    // -0.19 truncates toward zero
    EXPECT_EQ(values[3], 127);  // 186.5 is capped at the height
    EXPECT_EQ(values[49], -4);
}

TEST(SpectrumScale, SizesAreHalvedAndBounded) {
    float bins[kFftBins] = {};
    EXPECT_EQ(scaleSpectrum(bins, 7, 127).size(), 3U);
    EXPECT_TRUE(scaleSpectrum(bins, 1, 127).empty());
    EXPECT_TRUE(scaleSpectrum(bins, 0, 127).empty());
    EXPECT_TRUE(scaleSpectrum(bins, -10, 127).empty());
    // More bins than the FFT has above DC would read past the buffer.
    EXPECT_EQ(scaleSpectrum(bins, 100000, 127).size(), 1023U);
    bins[kFftBins - 1] = 1.0F;
    EXPECT_EQ(scaleSpectrum(bins, 100000, 127).back(), 127);
}

TEST(WaveformTrace, JumpsAreFilledWithUnitSteps) {
    std::vector<float> mono(100, 0.0F);
    mono[1] = 0.125F;
    const auto traces = traceWaveform(mono.data(), 1, 100, 100, 127);
    ASSERT_EQ(traces.size(), 1U);
    const std::vector<int> head(traces[0].begin(), traces[0].begin() + 16);
    EXPECT_EQ(head,
              (std::vector<int>{50, 49, 48, 47, 46, 45, 44, 43, 44, 45, 46, 47, 48, 49, 50, 50}));
    // The remaining 96 silent frames add one value each.
    EXPECT_EQ(traces[0].size(), 16U + 96U);
}

TEST(WaveformTrace, StereoKeepsChannelOrderAndBounds) {
    // Frame-interleaved: channel 0 first.
    const std::vector<float> stereo = {1.0F, -1.0F, 0.5F, -0.5F, 1.02F, -1.6F};
    const auto traces = traceWaveform(stereo.data(), 2, 3, 100, 127);
    ASSERT_EQ(traces.size(), 2U);
    // Channel 0: 0 -> 25 -> bounded 0 (1.02 would be -1).
    EXPECT_EQ(traces[0].front(), 0);
    EXPECT_EQ(traces[0][25], 25);
    EXPECT_EQ(traces[0].back(), 0);
    EXPECT_EQ(traces[0].size(), 1U + 25U + 25U);
    // Channel 1: 100 -> 75 -> 130 bounded to 126.
    EXPECT_EQ(traces[1].front(), 100);
    EXPECT_EQ(traces[1][25], 75);
    EXPECT_EQ(traces[1].back(), 126);
    for (const auto& trace : traces) {
        for (int v : trace) {
            EXPECT_GE(v, 0);
            EXPECT_LE(v, 126);
        }
    }
}

TEST(WaveformTrace, DegenerateInputGivesEmptyTracesNotGarbage) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::vector<float> odd = {nan, 0.0F};
    const auto traces = traceWaveform(odd.data(), 1, 2, 100, 127);
    ASSERT_EQ(traces.size(), 1U);
    EXPECT_EQ(traces[0], (std::vector<int>{50, 50}));  // a NaN sample reads as silence
    EXPECT_TRUE(traceWaveform(odd.data(), 0, 2, 100, 127).empty());
    const auto none = traceWaveform(odd.data(), 2, 0, 100, 127);
    ASSERT_EQ(none.size(), 2U);
    EXPECT_TRUE(none[0].empty());
}

}  // namespace
