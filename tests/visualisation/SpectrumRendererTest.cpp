// Pixels of the spectrum and waveform drawing: bar positions, heights measured from the bottom
// edge, colours, and what the panel shows for missing or mismatched data.
#include <gtest/gtest.h>

#include <QPainter>

#include "VisualTestSupport.h"
#include "visualisation/GlobalSettings.h"
#include "visualisation/SpectrumRenderer.h"

using visualtest::allBlack;
using visualtest::blankImage;
using visualtest::columnHeight;
using visualtest::ConsoleCapture;
using visualtest::isBlack;

namespace {

QImage draw(std::int32_t type, const SpectrumData& data, int width = 500, int height = 130) {
    QImage image = blankImage(width, height);
    QPainter painter(&image);
    spectrumrender::render(painter, QSizeF(width, height), type, data);
    painter.end();
    return image;
}

std::vector<int> spectrumWith(std::size_t count, int value) {
    return std::vector<int>(count, value);
}

}  // namespace

TEST(SpectrumRendererTest, FullValueIsPureRedBarFromBottomEdge) {
    std::vector<int> values(50, 0);
    values[0] = 127;
    const QImage image = draw(SpectrumTypeFFT, values);

    // Bar 0 covers x = 1..4 and the bottom 127 rows (y = 3..129 of 130).
    for (int x = 1; x <= 4; ++x) {
        EXPECT_EQ(columnHeight(image, x), 127) << "x=" << x;
        EXPECT_EQ(image.pixel(x, 129), qRgb(255, 0, 0)) << "x=" << x;
        EXPECT_EQ(image.pixel(x, 3), qRgb(255, 0, 0)) << "x=" << x;
        EXPECT_TRUE(isBlack(image, x, 2)) << "x=" << x;
    }
    EXPECT_EQ(columnHeight(image, 0), 0);
    EXPECT_EQ(columnHeight(image, 5), 0);
}

TEST(SpectrumRendererTest, FiftyValuesOnFiveHundredUnitsStandEveryTenUnits) {
    std::vector<int> values;
    for (int i = 0; i < 50; ++i)
        values.push_back(10 + 2 * i);
    const QImage image = draw(SpectrumTypeFFT, values);

    for (int i = 0; i < 50; ++i) {
        const int left = 1 + 10 * i;
        for (int x = left; x < left + 4; ++x) {
            ASSERT_EQ(columnHeight(image, x), values[i]) << "bar " << i << " x=" << x;
        }
        for (int x = left + 4; x < left + 10 && x < 500; ++x) {
            ASSERT_EQ(columnHeight(image, x), 0) << "gap after bar " << i << " x=" << x;
        }
    }
    EXPECT_EQ(columnHeight(image, 0), 0);
}

TEST(SpectrumRendererTest, ZeroAndNegativeValuesCoverNothing) {
    const std::vector<int> values = {0, -1, -4, 0, -2};
    const QImage image = draw(SpectrumTypeFFT, values);
    EXPECT_TRUE(allBlack(image));
}

TEST(SpectrumRendererTest, ValuesTallerThanThePanelAreClippedNotWrapped) {
    const QImage image = draw(SpectrumTypeFFT, spectrumWith(50, 127), 500, 60);
    EXPECT_EQ(columnHeight(image, 1), 60);
    EXPECT_EQ(columnHeight(image, 5), 0);
}

TEST(SpectrumRendererTest, BarColourRunsFromGreenToRedOrBlue) {
    EXPECT_EQ(spectrumrender::barColour(0, false).rgb(), qRgb(0, 255, 0));
    EXPECT_EQ(spectrumrender::barColour(127, false).rgb(), qRgb(255, 0, 0));
    EXPECT_EQ(spectrumrender::barColour(0, true).rgb(), qRgb(0, 255, 0));
    EXPECT_EQ(spectrumrender::barColour(127, true).rgb(), qRgb(0, 0, 255));
    // Beyond the ends the components stay at their bounds.
    EXPECT_EQ(spectrumrender::barColour(400, false).rgb(), qRgb(255, 0, 0));
    EXPECT_EQ(spectrumrender::barColour(-4, true).rgb(), qRgb(0, 255, 0));

    const QColor mid = spectrumrender::barColour(64, false);
    EXPECT_NEAR(mid.redF(), 64 / 127.0, 0.005);
    EXPECT_NEAR(mid.greenF(), 1.0 - 64 / 127.0, 0.005);
    EXPECT_EQ(mid.blue(), 0);
    EXPECT_EQ(mid.alpha(), 255);
}

TEST(SpectrumRendererTest, EachBarHasTheColourOfItsOwnValue) {
    const std::vector<int> values = {127, 64, 20};
    const QImage image = draw(SpectrumTypeFFT, values, 300, 130);
    EXPECT_EQ(image.pixel(2, 129), spectrumrender::barColour(127, false).rgb());
    EXPECT_EQ(image.pixel(102, 129), spectrumrender::barColour(64, false).rgb());
    EXPECT_EQ(image.pixel(202, 129), spectrumrender::barColour(20, false).rgb());
}

TEST(SpectrumRendererTest, StereoWaveformDrawsSecondChannelBlueGreenOverTheFirst) {
    // Both channels span the whole width: 100 values on 500 units, a step of 5.
    const std::vector<std::vector<int>> channels = {std::vector<int>(100, 100),
                                                    std::vector<int>(100, 50)};
    ConsoleCapture console;
    const QImage image = draw(SpectrumTypeWaveForm, channels);

    const QRgb first = spectrumrender::barColour(100, false).rgb();
    const QRgb second = spectrumrender::barColour(50, true).rgb();
    EXPECT_EQ(qRed(second), 0);
    EXPECT_GT(qGreen(second), 0);
    EXPECT_GT(qBlue(second), 0);
    for (int bar : {0, 37, 99}) {
        const int x = 1 + 5 * bar;
        EXPECT_EQ(columnHeight(image, x), 100) << "bar " << bar;
        EXPECT_EQ(image.pixel(x, 129), second) << "channel 1 lies over channel 0, bar " << bar;
        EXPECT_EQ(image.pixel(x, 130 - 50), second) << "bar " << bar;
        EXPECT_EQ(image.pixel(x, 130 - 51), first) << "bar " << bar;
        EXPECT_EQ(image.pixel(x, 130 - 100), first) << "bar " << bar;
    }
    EXPECT_EQ(columnHeight(image, 0), 0);
    EXPECT_EQ(columnHeight(image, 5), 0);

    EXPECT_TRUE(console.has("numChannels: 2"));
    EXPECT_TRUE(console.has("frame width: 500.000000"));
    EXPECT_TRUE(console.has("max count: 100"));
    EXPECT_EQ(console.count("chanBuff count: 100"), 2);
    EXPECT_EQ(console.count("stepx: 5.000000"), 2);
}

TEST(SpectrumRendererTest, WaveformChannelsOfDifferentLengthsEachSpanTheWidth) {
    const std::vector<std::vector<int>> channels = {
        std::vector<int>(10, 20), {}, std::vector<int>(5, 40)};
    ConsoleCapture console;
    const QImage image = draw(SpectrumTypeWaveForm, channels, 100, 50);

    // Channel 0 every 10 units, channel 2 (even, so red-green) every 20 units over it.
    EXPECT_EQ(columnHeight(image, 11), 20);
    EXPECT_EQ(image.pixel(11, 49), spectrumrender::barColour(20, false).rgb());
    EXPECT_EQ(columnHeight(image, 21), 40);
    EXPECT_EQ(image.pixel(21, 49), spectrumrender::barColour(40, false).rgb());
    EXPECT_EQ(columnHeight(image, 5), 0);

    EXPECT_TRUE(console.has("numChannels: 3"));
    EXPECT_TRUE(console.has("max count: 10"));
    EXPECT_TRUE(console.has("chanBuff count: 0"));
    EXPECT_TRUE(console.has("stepx: 10.000000"));
    EXPECT_TRUE(console.has("stepx: 20.000000"));
}

TEST(SpectrumRendererTest, NothingToShowGivesABlackPanel) {
    const std::vector<int> bars(50, 100);
    const std::vector<std::vector<int>> trace = {std::vector<int>(100, 60)};

    // Type "none" and unknown types ignore whatever data is held.
    EXPECT_TRUE(allBlack(draw(SpectrumTypeNone, bars)));
    EXPECT_TRUE(allBlack(draw(SpectrumTypeNone, trace)));
    EXPECT_TRUE(allBlack(draw(7, bars)));
    EXPECT_TRUE(allBlack(draw(-1, trace)));
    // No data yet.
    EXPECT_TRUE(allBlack(draw(SpectrumTypeFFT, std::monostate{})));
    EXPECT_TRUE(allBlack(draw(SpectrumTypeWaveForm, std::monostate{})));
}

TEST(SpectrumRendererTest, DataOfTheOtherShapeDrawsOnlyTheBackground) {
    const std::vector<int> bars(50, 100);
    const std::vector<std::vector<int>> trace = {std::vector<int>(100, 60),
                                                 std::vector<int>(100, 60)};
    ConsoleCapture console;
    EXPECT_TRUE(allBlack(draw(SpectrumTypeFFT, trace)));
    EXPECT_TRUE(allBlack(draw(SpectrumTypeWaveForm, bars)));
    EXPECT_FALSE(console.has("rendering fft"));
    EXPECT_FALSE(console.has("numChannels"));
}

TEST(SpectrumRendererTest, EmptyDataIsLoggedAndDrawsBlack) {
    ConsoleCapture console;
    EXPECT_TRUE(allBlack(draw(SpectrumTypeFFT, std::vector<int>{})));
    EXPECT_TRUE(allBlack(draw(SpectrumTypeWaveForm, std::vector<std::vector<int>>{})));
    EXPECT_TRUE(console.has("rendering fft: 0"));
    EXPECT_TRUE(console.has("numChannels: 0"));
}
