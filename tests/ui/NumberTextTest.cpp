// How field texts and stored values become numbers: the number a text begins with.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>

#include "formats/NumberText.h"

using namespace numbertext;

TEST(NumberText, IntegerValueIsTheLeadingWholeNumber) {
    EXPECT_EQ(integerValue(u"120"), 120);
    EXPECT_EQ(integerValue(u"120,5"), 120);
    EXPECT_EQ(integerValue(u"  -42abc"), -42);
    EXPECT_EQ(integerValue(u"+7"), 7);
    EXPECT_EQ(integerValue(u"12.9"), 12);
    EXPECT_EQ(integerValue(u""), 0);
    EXPECT_EQ(integerValue(u"abc"), 0);
    EXPECT_EQ(integerValue(u"- 5"), 0);
    EXPECT_EQ(integerValue(u"99999999999999999999"), INT_MAX);
    EXPECT_EQ(integerValue(u"-99999999999999999999"), INT_MIN);
    EXPECT_EQ(integerValue(u"-2147483648"), INT_MIN);
    EXPECT_EQ(integerValue(u"2147483647"), INT_MAX);
    EXPECT_EQ(integerValue(u"2147483648"), INT_MAX);
    EXPECT_EQ(integerValue(u"\u0661\u0662"), 0);  // other scripts' digits are not read
}

TEST(NumberText, RealValueIsTheLeadingNumber) {
    EXPECT_DOUBLE_EQ(realValue(u"100.7"), 100.7);
    EXPECT_DOUBLE_EQ(realValue(u" 75abc"), 75.0);
    EXPECT_DOUBLE_EQ(realValue(u"-.5"), -0.5);
    EXPECT_DOUBLE_EQ(realValue(u"1e3"), 1000.0);
    EXPECT_DOUBLE_EQ(realValue(u"2.5e-1x"), 0.25);
    EXPECT_DOUBLE_EQ(realValue(u"12e"), 12.0);
    EXPECT_DOUBLE_EQ(realValue(u"12,5"), 12.0);
    EXPECT_EQ(realValue(u"abc"), 0.0);
    EXPECT_EQ(realValue(u"."), 0.0);
    EXPECT_EQ(realValue(u"nan"), 0.0);
    EXPECT_EQ(realValue(u"inf"), 0.0);
    EXPECT_EQ(realValue(u"1e999"), std::numeric_limits<double>::infinity());
    EXPECT_EQ(realValue(u"-1e999"), -std::numeric_limits<double>::infinity());
    EXPECT_EQ(realValue(u"1e-999"), 0.0);
}

TEST(NumberText, WholeNumberPartOfNumberObjects) {
    EXPECT_EQ(wholeNumberPart(QVariant(100.7)), 100);
    EXPECT_EQ(wholeNumberPart(QVariant(-100.7)), -100);
    EXPECT_EQ(wholeNumberPart(QVariant(120)), 120);
    EXPECT_EQ(wholeNumberPart(QVariant(qlonglong(1) << 40)), INT_MAX);
    EXPECT_EQ(wholeNumberPart(QVariant(1e300)), INT_MAX);
    EXPECT_EQ(wholeNumberPart(QVariant(std::nan(""))), 0);
    EXPECT_EQ(wholeNumberPart(QVariant()), 0);
    EXPECT_EQ(wholeNumberPart(QVariant(QStringLiteral("77"))), 0);
    EXPECT_TRUE(std::isnan(floatValue(QVariant())));
    EXPECT_EQ(floatValue(QVariant(qlonglong(90))), 90.0F);
}
