// The float slider under the sound controls: scaling, clamping, and telling user moves from
// settings made by code (which must never reach the engine).
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>
#include <cmath>
#include <limits>

#include "ui/ValueSlider.h"

TEST(ValueSlider, ScalesFloatValuesToSteps) {
    ValueSlider s;
    s.setScale(100);
    s.setRange(-5000, 10000);
    s.setFloatValue(12.34F);
    EXPECT_EQ(s.value(), 1234);
    EXPECT_FLOAT_EQ(s.floatValue(), 12.34F);
    EXPECT_FLOAT_EQ(s.floatMinimum(), -50.0F);
    EXPECT_FLOAT_EQ(s.floatMaximum(), 100.0F);
    // To the nearest step: -12.345f lies a hair beyond -12.345.
    s.setFloatValue(-12.345F);
    EXPECT_EQ(s.value(), -1235);
    s.setFloatValue(0.004F);
    EXPECT_EQ(s.value(), 0);
}

TEST(ValueSlider, HoldsValuesWithinItsRangeWithoutOverflow) {
    ValueSlider s;
    s.setScale(100);
    s.setRange(-5000, 10000);
    s.setFloatValue(200.0F);
    EXPECT_EQ(s.value(), 10000);
    s.setFloatValue(1e30F);
    EXPECT_EQ(s.value(), 10000);
    s.setFloatValue(-std::numeric_limits<float>::infinity());
    EXPECT_EQ(s.value(), -5000);
    s.setFloatValue(3.0F);
    s.setFloatValue(std::nanf(""));
    EXPECT_EQ(s.value(), 300);  // NaN changes nothing
    // What a value would be held as, asked ahead (the practice keys set the engine to it), is
    // what setting it leaves, and asking changes nothing.
    for (const float value : {-12.345F, 7.004F, 250.0F, -1e30F, std::nanf("")}) {
        const float held = s.heldValue(value);
        EXPECT_EQ(s.value(), 300);
        ValueSlider set;
        set.setScale(100);
        set.setRange(-5000, 10000);
        set.setFloatValue(3.0F);
        set.setFloatValue(value);
        EXPECT_EQ(held, set.floatValue()) << value;
    }

    // Narrowing the range moves the value into it.
    ValueSlider rate;
    rate.setRange(0, 100000);
    rate.setFloatValue(96000.0F);
    rate.setFloatRange(30870.0F, 57329.0F);
    EXPECT_EQ(rate.value(), 57329);
}

TEST(ValueSlider, OnlyUserChangesEmitUserMoved) {
    ValueSlider s;
    s.setScale(100);
    s.setRange(-5000, 10000);
    s.setSingleStep(100);
    QSignalSpy moved(&s, &ValueSlider::userMoved);

    s.setFloatValue(10.0F);
    s.setFloatRange(-10.0F, 5.0F);  // clamps the value to 5: still code, still silent
    EXPECT_EQ(s.value(), 500);
    EXPECT_EQ(moved.count(), 0);

    // The keyboard, as a user moves it.
    QTest::keyClick(&s, Qt::Key_Left);
    EXPECT_EQ(s.value(), 400);
    EXPECT_EQ(moved.count(), 1);

    // A setting made from code inside a user move's handler stays silent too, and the flag
    // is restored afterwards.
    QObject::connect(&s, &ValueSlider::userMoved, &s, [&s] {
        if (s.value() == 300)
            s.setFloatValue(0.0F);
    });
    QTest::keyClick(&s, Qt::Key_Left);
    EXPECT_EQ(s.value(), 0);
    EXPECT_EQ(moved.count(), 2);
    QTest::keyClick(&s, Qt::Key_Right);
    EXPECT_EQ(moved.count(), 3);
}

TEST(ValueSlider, IgnoresANonPositiveScale) {
    ValueSlider s;
    s.setScale(0.0);
    s.setScale(-5.0);
    s.setScale(std::numeric_limits<double>::infinity());
    EXPECT_EQ(s.scale(), 1.0);
    s.setRange(0, 100);
    s.setFloatValue(42.0F);
    EXPECT_EQ(s.value(), 42);
}
