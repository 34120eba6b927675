// The metronome row of the real window: the click volume at launch, the BPM field, and how the
// music's play button, the start-with-music box and the metronome's own button drive it.
#include <QCheckBox>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>

#include "PlayerFixture.h"
#include "audiolib/audiolib.h"
#include "metronome/Metronom.h"
#include "metronome/MetronomControls.h"
#include "ui/ValueSlider.h"

namespace {

class PlayerMetronomTest : public PlayerTest {
  protected:
    Metronom& metronom() { return *d().metronom(); }

    float clickVolume() {
        float level = -1.0F;
        EXPECT_TRUE(BASS_ChannelGetAttribute(metronom().soundClick(), BASS_ATTRIB_VOL, &level));
        return level;
    }

    // Ticks the start-with-music box as the user does (its action runs).
    void clickBox() { QTest::mouseClick(buttonMetronomStartWithMusic(), Qt::LeftButton); }

    // Music loaded and paused, the box ticked, `bpm` in the field (set as code does: the
    // validator is not asked).
    void readyToPlayWithMusic(const QString& bpm) {
        d().open(wav("song.wav", 4.0));
        ASSERT_TRUE(engine_.musicAvailable());
        clickBox();
        ASSERT_TRUE(buttonMetronomStartWithMusic()->isChecked());
        labelMetronomBPM()->setText(bpm);
    }
};

// Types into the BPM field as a user does and ends with Return.
void typeBpm(QLineEdit* field, const QString& text) {
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, text);
    QTest::keyClick(field, Qt::Key_Return);
}

}  // namespace

TEST_F(PlayerMetronomTest, LaunchLoadsTheClickAtVolume95AndTheSliderMovesIt) {
    ASSERT_NE(d().metronom(), nullptr);
    ASSERT_NE(metronom().soundClick(), 0U) << "click.wav did not load from the resource folder";
    EXPECT_FLOAT_EQ(clickVolume(), 0.95F);
    EXPECT_FALSE(metronom().isRunning());
    EXPECT_EQ(labelMetronomBPM()->text(), "120");
    EXPECT_FLOAT_EQ(sliderMetronomVolume()->floatValue(), 95.0F);
    // The controls are connected: the user's slider move reaches the click.
    sliderMetronomVolume()->setValue(30);
    EXPECT_FLOAT_EQ(clickVolume(), 0.30F);
}

TEST_F(PlayerMetronomTest, PlayWithTheBoxTickedStartsTheMetronomeAtTheFieldsBpm) {
    readyToPlayWithMusic("120");
    QSignalSpy ticks(&metronom(), &Metronom::ticked);
    QTest::mouseClick(playButton(), Qt::LeftButton);
    ASSERT_TRUE(engine_.isPlaying());
    ASSERT_TRUE(metronom().isRunning());
    EXPECT_EQ(metronom().numberBPM(), QVariant(120));
    EXPECT_DOUBLE_EQ(metronom().schedule().intervalSeconds(), 0.5);
    EXPECT_TRUE(ticks.wait(5000)) << "no click came while the music played";

    // Pausing the music stops the metronome too.
    QTest::mouseClick(playButton(), Qt::LeftButton);
    EXPECT_FALSE(engine_.isPlaying());
    EXPECT_FALSE(metronom().isRunning());
    const qsizetype afterPause = ticks.size();
    QTest::qWait(700);  // longer than one beat at 120
    EXPECT_EQ(ticks.size(), afterPause) << "clicks go on after the pause";

    // The field's whole number is taken: "120,5" plays at 120.
    labelMetronomBPM()->setText("120,5");
    QTest::mouseClick(playButton(), Qt::LeftButton);
    ASSERT_TRUE(metronom().isRunning());
    EXPECT_EQ(metronom().numberBPM(), QVariant(120));
    EXPECT_DOUBLE_EQ(metronom().schedule().intervalSeconds(), 0.5);

    // A changed field takes effect at the next play, not before.
    labelMetronomBPM()->setText("90");
    EXPECT_DOUBLE_EQ(metronom().schedule().intervalSeconds(), 0.5);
    d().clickedPlayButton();
    d().clickedPlayButton();
    EXPECT_DOUBLE_EQ(metronom().schedule().intervalSeconds(), 0.666666686534881591796875);
}

TEST_F(PlayerMetronomTest, ABpmTheMetronomeCannotUseLeavesItStoppedButTheMusicPlays) {
    readyToPlayWithMusic("0");
    for (const char* bad : {"0", "", "abc", "-60", "5000"}) {
        labelMetronomBPM()->setText(bad);
        d().clickedPlayButton();
        EXPECT_TRUE(engine_.isPlaying()) << bad;
        EXPECT_FALSE(metronom().isRunning()) << bad;
        d().clickedPlayButton();
        EXPECT_FALSE(engine_.isPlaying()) << bad;
    }
}

TEST_F(PlayerMetronomTest, WithoutTheBoxPlayLeavesTheMetronomeAloneButPauseStopsIt) {
    d().open(wav("song.wav", 4.0));
    d().clickedPlayButton();
    ASSERT_TRUE(engine_.isPlaying());
    EXPECT_FALSE(metronom().isRunning());

    // Started with its own button while the music plays...
    QPushButton* button = buttonMetronomPlay();
    ASSERT_TRUE(button->isEnabled());
    QTest::mouseClick(button, Qt::LeftButton);
    ASSERT_TRUE(metronom().isRunning());
    ASSERT_TRUE(button->isChecked());
    const QString runningPicture = d().metronomControls()->image();
    // ...it stops with the music, and its button stays on, showing the running picture.
    d().clickedPlayButton();
    EXPECT_FALSE(metronom().isRunning());
    EXPECT_TRUE(button->isChecked());
    EXPECT_EQ(d().metronomControls()->image(), runningPicture);
}

TEST_F(PlayerMetronomTest, TickingTheBoxStopsTheMetronomeAndDisablesItsButton) {
    QPushButton* button = buttonMetronomPlay();
    QTest::mouseClick(button, Qt::LeftButton);
    ASSERT_TRUE(metronom().isRunning());

    clickBox();
    EXPECT_FALSE(metronom().isRunning());
    EXPECT_FALSE(button->isEnabled());
    // Clearing it gives the button back without starting anything.
    clickBox();
    EXPECT_TRUE(button->isEnabled());
    EXPECT_FALSE(metronom().isRunning());
}

TEST_F(PlayerMetronomTest, TheBpmFieldTakesWholeNumbersAndHoldsThemInRange) {
    QLineEdit* field = labelMetronomBPM();
    ASSERT_TRUE(waitFor([this] { return d().window()->isVisible(); }));
    typeBpm(field, "96");
    EXPECT_EQ(field->text(), "96");
    // Letters and a sign inside the number are refused as they are typed; a fraction is taken
    // and dropped, so its digits never join the whole number.
    typeBpm(field, "1x2-0,5");
    EXPECT_EQ(field->text(), "120");
    typeBpm(field, "90,5");
    EXPECT_EQ(field->text(), "90");
    typeBpm(field, "100.9");
    EXPECT_EQ(field->text(), "100");
    // Too slow or too fast is held at the nearer end when the user is done.
    typeBpm(field, "5");
    EXPECT_EQ(field->text(), "20");
    typeBpm(field, "-60");
    EXPECT_EQ(field->text(), "20");
    typeBpm(field, "999");
    EXPECT_EQ(field->text(), "400");
    typeBpm(field, "1000");
    EXPECT_EQ(field->text(), "400");
    // What is typed is what plays.
    typeBpm(field, "5");
    clickBox();
    d().open(wav("song.wav", 2.0));
    d().clickedPlayButton();
    ASSERT_TRUE(metronom().isRunning());
    EXPECT_EQ(metronom().numberBPM(), QVariant(20));
}

TEST_F(PlayerMetronomTest, QuittingWithMusicAndClickPlayingFreesThemAndTheDeviceFirst) {
    readyToPlayWithMusic("240");
    d().clickedPlayButton();
    ASSERT_TRUE(engine_.isPlaying());
    ASSERT_TRUE(metronom().isRunning());
    QSignalSpy ticks(&metronom(), &Metronom::ticked);
    ASSERT_TRUE(ticks.wait(5000));
    const DWORD music = engine_.musicChannel();
    const DWORD click = metronom().soundClick();

    QTimer::singleShot(0, QCoreApplication::instance(), &QCoreApplication::quit);
    QCoreApplication::exec();

    // Nothing of ours is left for a static destructor to free under SDL's running thread.
    EXPECT_FALSE(metronom().isRunning());
    EXPECT_EQ(BASS_ChannelIsActive(music), BASS_ACTIVE_STOPPED);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    EXPECT_FALSE(BASS_SampleGetChannel(click, 0));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    EXPECT_EQ(BASS_GetDevice(), static_cast<DWORD>(-1));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_INIT);
}
