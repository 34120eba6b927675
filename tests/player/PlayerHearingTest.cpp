// The hearing row on the real window and engine: the tuning detected from the file and offered,
// the tools kept for the next music while its tuning starts at 0, and a band the music cannot
// hold refused with a reason.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QSpinBox>
#include <cmath>

#include "PlayerFixture.h"
#include "player/practice/HearingTools.h"

TEST_F(PlayerTest, DetectedTuningIsOfferedAndTheToolsOutliveTheMusicButNotItsTuning) {
    ASSERT_TRUE(waitFor([this] { return d().window()->isVisible(); }));  // messages reach us
    // A tone 18 cents sharp of A = 440, with two harmonics.
    constexpr int kRate = 22050;
    const double hz = 440.0 * std::pow(2.0, 18.0 / 1200.0);
    std::vector<float> tone = testsupport::sine(hz, 4.0, kRate, 2, 0.4F);
    const std::vector<float> second = testsupport::sine(2.0 * hz, 4.0, kRate, 2, 0.2F);
    const std::vector<float> third = testsupport::sine(3.0 * hz, 4.0, kRate, 2, 0.1F);
    for (std::size_t i = 0; i < tone.size(); ++i)
        tone[i] += second[i] + third[i];
    const std::string sharp = dir_.file("sharp.wav");
    ASSERT_TRUE(testsupport::writeAudioFile(sharp, tone, kRate, 2, nullptr));
    d().open(QString::fromStdString(sharp));
    ASSERT_TRUE(engine_.musicAvailable());

    HearingTools& hearing = *d().hearingTools();
    QStringList asked;
    hearing.setTuningQuestion([&asked](QWidget*, const QString& text) {
        asked << text;
        return true;
    });
    hearing.detectTuning();
    EXPECT_FALSE(hearing.detectButton()->isEnabled());
    ASSERT_TRUE(waitFor([&hearing] { return !hearing.detecting(); }, 30000));
    ASSERT_EQ(asked.size(), 1);
    EXPECT_TRUE(asked[0].contains("18 cents sharp")) << asked[0].toStdString();
    EXPECT_TRUE(asked[0].contains("-18 cents")) << asked[0].toStdString();
    EXPECT_EQ(hearing.tuningBox()->value(), -18);
    EXPECT_FLOAT_EQ(engine_.tuning(), -18.0F);
    EXPECT_FLOAT_EQ(engine_.pitch(), 0.0F);  // the pitch control still reads its own semitones

    hearing.centreCancelBox()->click();
    hearing.channelsBox()->setCurrentIndex(3);
    emit hearing.channelsBox()->activated(3);  // Mono
    // A custom band above what 22.05 kHz can hold is refused and the focus stays off.
    hearing.setBandChooser([](QWidget*, const formats::FocusSpec&) {
        return formats::FocusSpec{formats::FocusBand::Custom, 15000.0F, 1.0F, 6.0F};
    });
    hearing.focusBox()->setCurrentIndex(4);
    emit hearing.focusBox()->activated(4);
    EXPECT_EQ(engine_.hearing().focus.band, formats::FocusBand::Off);
    EXPECT_EQ(hearing.focusBox()->currentIndex(), 0);
    ASSERT_FALSE(told_.isEmpty());
    EXPECT_TRUE(told_.last().contains("15000 Hz")) << told_.last().toStdString();

    d().open(wav("other.wav", 3.0));
    EXPECT_FLOAT_EQ(engine_.tuning(), 0.0F);
    EXPECT_EQ(hearing.tuningBox()->value(), 0);
    EXPECT_TRUE(engine_.hearing().centreCancel);
    EXPECT_EQ(engine_.hearing().channels, formats::ChannelChoice::Mono);
    EXPECT_TRUE(hearing.centreCancelBox()->isChecked());
    EXPECT_EQ(hearing.channelsBox()->currentIndex(), 3);
}
