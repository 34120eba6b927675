// The practice keys in the window: every practice action from wherever the focus is, and the
// loop set from the heard position.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <cmath>

#include "PlayerFixture.h"
#include "metronome/Metronom.h"
#include "player/overview/OverviewController.h"
#include "player/overview/SongOverview.h"
#include "player/practice/MarkerTools.h"
#include "player/practice/PracticeTools.h"
#include "ui/ValueSlider.h"

namespace {

void press(QWidget* focus, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    focus->setFocus();
    QTest::keyClick(focus, static_cast<Qt::Key>(key), modifiers);
}

}  // namespace

TEST_F(PlayerTest, EveryPracticeKeyActsFromAnyControlWhileValueFieldsKeepTheirOwn) {
    ASSERT_TRUE(waitFor([this] { return d().window()->isVisible(); }));
    ASSERT_TRUE(QTest::qWaitForWindowActive(d().window()));
    d().open(wav("song.wav", 30.0));
    ASSERT_TRUE(engine_.musicAvailable());
    PracticeTools& tools = *d().practiceTools();
    QWidget* combo = tools.countInBox();
    QWidget* central = d().window()->centralWidget();

    engine_.seekSeconds(10.0);
    press(combo, Qt::Key_Right);
    EXPECT_NEAR(engine_.positionSeconds(), 15.0, 0.01);
    press(central, Qt::Key_Left, Qt::ShiftModifier);
    EXPECT_NEAR(engine_.positionSeconds(), 14.0, 0.01);
    press(playButton(), Qt::Key_Left);
    EXPECT_NEAR(engine_.positionSeconds(), 9.0, 0.01);

    // Tempo and pitch keys move the controls and the engine together.
    press(combo, Qt::Key_Minus);
    EXPECT_FLOAT_EQ(engine_.tempo(), -1.0F);
    press(combo, Qt::Key_Plus, Qt::ShiftModifier);  // "+" on a US keyboard: five points
    EXPECT_FLOAT_EQ(engine_.tempo(), 4.0F);
    EXPECT_EQ(labelTempo()->text(), "4,00");
    press(central, Qt::Key_Period);
    press(central, Qt::Key_Up, Qt::ControlModifier);
    EXPECT_FLOAT_EQ(engine_.pitch(), 2.0F);
    press(central, Qt::Key_0);
    EXPECT_FLOAT_EQ(engine_.tempo(), 0.0F);
    EXPECT_FLOAT_EQ(engine_.pitch(), 0.0F);

    // A value field types digits and signs; the other practice keys still act from it.
    QLineEdit* field = labelPitch();
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, "-3");
    EXPECT_EQ(field->text(), "-3");
    EXPECT_FLOAT_EQ(engine_.tempo(), 0.0F);
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_FLOAT_EQ(engine_.pitch(), -3.0F);

    // [ and ] at the heard position, the loop on, Home back to A, L off, from a field too.
    engine_.seekSeconds(12.0);
    press(field, Qt::Key_BracketLeft);
    engine_.seekSeconds(16.5);
    press(combo, Qt::Key_BracketRight);
    EXPECT_NEAR(tools.loop().start, 12.0, 0.01);
    EXPECT_NEAR(tools.loop().end, 16.5, 0.01);
    EXPECT_TRUE(tools.loop().on);
    EXPECT_TRUE(sliderPosition()->hasHighlight());
    EXPECT_NEAR(engine_.positionSeconds(), 12.0, 0.01);  // set while past it: round at once
    press(central, Qt::Key_Down, Qt::ShiftModifier);     // B, set last, 10 ms earlier
    EXPECT_NEAR(tools.loop().end, 16.49, 0.001);
    engine_.seekSeconds(14.0);
    press(central, Qt::Key_Home);
    EXPECT_NEAR(engine_.positionSeconds(), 12.0, 0.01);
    press(field, Qt::Key_L);
    EXPECT_FALSE(tools.loop().on);
    EXPECT_FALSE(sliderPosition()->hasHighlight());
    EXPECT_EQ(field->text(), "-3");

    // M clicks the metronome button; Space plays from the count-in box as from anywhere.
    press(combo, Qt::Key_M);
    EXPECT_TRUE(d().metronom()->isRunning());
    press(combo, Qt::Key_M);
    EXPECT_FALSE(d().metronom()->isRunning());
    press(combo, Qt::Key_Space);
    EXPECT_TRUE(engine_.isPlaying());
    press(combo, Qt::Key_Space);
    EXPECT_FALSE(engine_.isPlaying());

    // F1 shows the list of keys.
    press(central, Qt::Key_F1);
    ASSERT_TRUE(waitFor([&] { return tools.shortcutsWindow() != nullptr; }));
    EXPECT_TRUE(tools.shortcutsWindow()->isVisible());
}

// The overview strip moves the music to the very frame under the pointer (the position slider
// only knows whole seconds), and the marker keys add, visit and loop between markers.
TEST_F(PlayerTest, TheOverviewSeeksToTheFrameAndMarkerKeysLoopFromOneToTheNext) {
    ASSERT_TRUE(waitFor([this] { return d().window()->isVisible(); }));
    d().open(wav("song.wav", 30.0));
    ASSERT_TRUE(engine_.musicAvailable());
    OverviewController& overview = *d().overview();
    ASSERT_TRUE(waitFor([&overview] { return !overview.building(); }));
    SongOverview* strip = overview.view();
    ASSERT_GT(strip->width(), 100);

    const int x = strip->width() / 3 + 7;
    QTest::mouseClick(strip, Qt::LeftButton, {}, QPoint(x, strip->height() / 2));
    const double expected = static_cast<double>(x) / strip->width() * 30.0;
    EXPECT_NEAR(engine_.positionSeconds(), expected, 1.0 / 44100);
    EXPECT_NE(std::fmod(engine_.positionSeconds(), 1.0), 0.0);

    QWidget* central = d().window()->centralWidget();
    for (const double at : {4.0, 9.5, 17.25}) {
        engine_.seekSeconds(at);
        press(central, Qt::Key_M, Qt::ControlModifier);
    }
    PracticeTools& tools = *d().practiceTools();
    ASSERT_EQ(tools.markers().list().size(), 3U);
    EXPECT_EQ(tools.markers().list()[1].name, "Marker 2");
    engine_.seekSeconds(12.0);
    press(central, Qt::Key_PageUp);
    EXPECT_NEAR(engine_.positionSeconds(), 9.5, 0.001);
    press(central, Qt::Key_PageDown);
    EXPECT_NEAR(engine_.positionSeconds(), 17.25, 0.001);
    engine_.seekSeconds(10.0);
    press(central, Qt::Key_L, Qt::ShiftModifier);
    EXPECT_EQ(tools.loop(), (LoopRange{9.5, 17.25, true}));
    // The loop's ends read and typed in seconds; a typed end outside the song is refused.
    QLineEdit* end = tools.loopEndField();
    EXPECT_EQ(end->text(), "17.250");
    for (const char* typed : {"31", "16.5"}) {
        end->setFocus();
        end->selectAll();
        QTest::keyClicks(end, typed);
        QTest::keyClick(end, Qt::Key_Return);
    }
    EXPECT_EQ(tools.loop(), (LoopRange{9.5, 16.5, true}));
    d().updatePositionSlider();
    EXPECT_TRUE(tools.positionSecondsLabel()->isVisibleTo(d().window()));
    EXPECT_EQ(strip->marks().markers, (std::vector<double>{4.0, 9.5, 17.25}));
}

// What a practice tool changes in the engine reaches the window's controls as well, so neither
// shows a stale value: the trainer's start tempo and the tempos it steps to at the loop's seam,
// the rate the reset key brings back, and the loop the overview strip draws.
TEST_F(PlayerTest, WhatAPracticeToolChangesReachesTheEngineAndTheWindowAlike) {
    d().open(wav("song.wav", 10.0));
    ASSERT_TRUE(engine_.musicAvailable());
    PracticeTools& tools = *d().practiceTools();
    tools.apply(LoopRange{1.0, 1.3, true}, TrainerPlan{-20.0F, 0.0F, 10.0F, 1, true}, CountIn{});
    EXPECT_FLOAT_EQ(engine_.tempo(), -20.0F);
    EXPECT_FLOAT_EQ(sliderTempo()->floatValue(), -20.0F);
    EXPECT_EQ(labelTempo()->text(), "-20,00");
    d().updatePositionSlider();
    const SongOverview::Marks& marks = d().overview()->view()->marks();
    EXPECT_DOUBLE_EQ(marks.loopStart, 1.0);
    EXPECT_DOUBLE_EQ(marks.loopEnd, 1.3);
    EXPECT_TRUE(marks.loopOn);

    // The trainer steps inside the audio layer; the position tick brings the controls along.
    d().clickedPlayButton();
    ASSERT_TRUE(waitFor([this] { return sliderTempo()->floatValue() > -20.0F; }, 30000));
    d().clickedPlayButton();
    ASSERT_FALSE(engine_.isPlaying());
    d().updatePositionSlider();
    EXPECT_FLOAT_EQ(sliderTempo()->floatValue(), engine_.tempo());
    EXPECT_EQ(labelTempo()->text(), TonveraAppDelegate::formatNumber(engine_.tempo()));

    // 0 brings back the music's own rate, in the engine and in the rate controls.
    sliderRate()->setValue(40000);
    ASSERT_FLOAT_EQ(engine_.samplerate(), 40000.0F);
    press(d().window()->centralWidget(), Qt::Key_0);
    EXPECT_FLOAT_EQ(engine_.samplerate(), 44100.0F);
    EXPECT_FLOAT_EQ(sliderRate()->floatValue(), 44100.0F);
    EXPECT_EQ(labelRate()->text(), "44100,00");
    EXPECT_FLOAT_EQ(engine_.tempo(), 0.0F);
    EXPECT_EQ(labelTempo()->text(), "0,00");
}
