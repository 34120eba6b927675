// The value-field format, typed-number parsing, the time display and the rate range.
#include <gtest/gtest.h>

#include <QLocale>
#include <cmath>
#include <limits>

#include "player/DisplayFormat.h"
#include "player/TonveraAppDelegate.h"

using display::formatNumber;
using display::parseNumber;
using display::playingTimeText;
using display::rateRange;

TEST(FormatNumber, RoundsAwayFromZeroToTwentiethsWithACommaAndTwoDecimals) {
    EXPECT_EQ(formatNumber(12.34F), "12,35");
    // Rounded from the value as set, not from the float a hair above it: one 0.1 slider step
    // shows 0,10, not 0,15.
    EXPECT_EQ(formatNumber(12.3F), "12,30");
    EXPECT_EQ(formatNumber(0.1F), "0,10");
    EXPECT_EQ(formatNumber(-0.3F), "-0,30");
    EXPECT_EQ(formatNumber(12.31F), "12,35");
    // Rounding up carries into the whole part.
    EXPECT_EQ(formatNumber(99.99F), "100,00");
    // Exact multiples stay.
    EXPECT_EQ(formatNumber(12.25F), "12,25");
    EXPECT_EQ(formatNumber(-2.0F), "-2,00");
    EXPECT_EQ(formatNumber(-12.345F), "-12,35");
    EXPECT_EQ(formatNumber(44100.0F), "44100,00");
    EXPECT_EQ(formatNumber(0.0F), "0,00");
    // The controller's operation is the same format.
    EXPECT_EQ(TonveraAppDelegate::formatNumber(12.34F), "12,35");
}

TEST(FormatNumber, SmallAndNegativeValuesKeepTheirSignAndALeadingZero) {
    EXPECT_EQ(formatNumber(0.01F), "0,05");
    EXPECT_EQ(formatNumber(-0.01F), "-0,05");
    EXPECT_EQ(formatNumber(-0.0F), "0,00");
    EXPECT_EQ(formatNumber(0.95F), "0,95");  // 0.95f lies below 0.95: rounds up onto it
    EXPECT_EQ(formatNumber(0.96F), "1,00");
}

TEST(FormatNumber, IgnoresTheLocaleAndNeverGroupsDigits) {
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(formatNumber(1234567.0F), "1234567,00");
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(formatNumber(-1234.5F), "-1234,50");
    QLocale::setDefault(previous);
}

TEST(FormatNumber, ExtremeValuesGiveTextNotACrash) {
    const float biggest = std::numeric_limits<float>::max();
    const QString big = formatNumber(biggest);
    EXPECT_TRUE(big.endsWith(",00")) << big.toStdString();
    EXPECT_EQ(big.size(), 39 + 3);  // 3.4e38 has 39 digits
    EXPECT_TRUE(formatNumber(-biggest).startsWith('-'));
    // Large floats are whole numbers, written with all their digits.
    EXPECT_EQ(formatNumber(1e14F), "100000000376832,00");
    EXPECT_FALSE(formatNumber(std::nanf("")).isEmpty());
    EXPECT_FALSE(formatNumber(std::numeric_limits<float>::infinity()).isEmpty());
}

TEST(ParseNumber, AcceptsACommaOrAPointAsDecimalSeparator) {
    EXPECT_EQ(parseNumber("12,5"), 12.5F);
    EXPECT_EQ(parseNumber("12.5"), 12.5F);
    EXPECT_EQ(parseNumber("  -3,25 "), -3.25F);
    EXPECT_EQ(parseNumber("200"), 200.0F);
    EXPECT_EQ(parseNumber("+7"), 7.0F);
    // What the fields show reads back as the same number.
    EXPECT_EQ(parseNumber(formatNumber(44100.0F)), 44100.0F);
}

TEST(ParseNumber, RejectsTextThatIsNotOneNumber) {
    for (const char* text : {"", "   ", "abc", "12abc", "1,2,3", "1.2.3", "1,2.3", "inf", "nan",
                             "-", ",", "1e999", "0x10", "12 5"}) {
        EXPECT_FALSE(parseNumber(QString::fromLatin1(text)).has_value()) << text;
    }
}

TEST(PlayingTime, DividesFileSecondsByTheTempoRatio) {
    // 65 s into a 3:30 file.
    EXPECT_EQ(playingTimeText(65, 210, 1.0F), "01:05 / 03:30");
    EXPECT_EQ(playingTimeText(65, 210, 2.0F), "00:32 / 01:45");
    EXPECT_EQ(playingTimeText(65, 210, 0.5F), "02:10 / 07:00");
}

TEST(PlayingTime, MinutesGrowBeyondTwoDigitsAndShortFilesShowZero) {
    // 2 h 5 min 3 s.
    EXPECT_EQ(playingTimeText(0, 2 * 3600 + 5 * 60 + 3, 1.0F), "00:00 / 125:03");
    EXPECT_EQ(playingTimeText(0, 0, 1.0F), "00:00 / 00:00");
    // Truncated, not rounded: 59 s at ratio 1.0001 is 58.99 s of playing time.
    EXPECT_EQ(playingTimeText(59, 59, 1.0001F), "00:58 / 00:58");
}

TEST(PlayingTime, NoMusicKeepsTheDisplay) {
    EXPECT_FALSE(playingTimeText(10, 100, 0.0F).has_value());
    EXPECT_FALSE(playingTimeText(10, 100, -1.0F).has_value());
    EXPECT_FALSE(playingTimeText(10, 100, std::nanf("")).has_value());
    // A tiny ratio saturates instead of wrapping around.
    const auto huge = playingTimeText(1e9, 1e9, 1e-30F);
    ASSERT_TRUE(huge.has_value());
    EXPECT_EQ(*huge, "71582788:15 / 71582788:15");  // 4294967295 s
}

TEST(RateRange, SeventyToHundredThirtyPercentInSinglePrecision) {
    const struct {
        float rate;
        int minimum;
        int maximum;
    } cases[] = {{8000, 5600, 10400},
                 {22050, 15435, 28664},
                 {44100, 30870, 57329},
                 {48000, 33600, 62399},
                 {96000, 67200, 124799}};
    for (const auto& c : cases) {
        const auto range = rateRange(c.rate);
        EXPECT_EQ(range.minimum, c.minimum) << c.rate;
        EXPECT_EQ(range.maximum, c.maximum) << c.rate;
    }
    const auto none = rateRange(0.0F);
    EXPECT_EQ(none.minimum, 0);
    EXPECT_EQ(none.maximum, 0);
}
