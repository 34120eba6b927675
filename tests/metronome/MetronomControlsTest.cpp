// The metronome row with real widgets: the on/off button and its pictures, the check box, the
// play button of the music, and the volume slider.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <memory>

#include "MetronomFixture.h"
#include "audiolib/audiolib.h"
#include "metronome/Metronom.h"
#include "metronome/MetronomControls.h"
#include "ui/ValueSlider.h"

namespace {

// Two pictures of different colours, so the button's icon tells which one it shows.
QString writePicture(const testsupport::TempDir& dir, const std::string& name, Qt::GlobalColor c) {
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(c);
    const QString path = QString::fromStdString(dir.file(name));
    EXPECT_TRUE(image.save(path));
    return path;
}

QImage shown(const QAbstractButton& button) {
    return button.icon().pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
}

class MetronomControlsTest : public MetronomEngineTest {
  protected:
    void SetUp() override {
        MetronomEngineTest::SetUp();
        offImage_ = writePicture(dir_, "metronome_off.png", Qt::red);
        onImage_ = writePicture(dir_, "metronome_on.png", Qt::green);
        bpm_.setText(QStringLiteral("120"));
        play_.setCheckable(true);
        volume_.setRange(0, 100);
        volume_.setFloatValue(95.0F);
        make(offImage_, onImage_);
    }
    void TearDown() override {
        metronom_.stop();
        controls_.reset();
        MetronomEngineTest::TearDown();
    }

    void make(const QString& image, const QString& alternate) {
        controls_ = std::make_unique<MetronomControls>(
            MetronomControls::Widgets{&bpm_, &startWithMusic_, &play_, &volume_}, metronom_, image,
            alternate);
        controls_->connectControls();
    }

    // Clicks as the user does: the button toggles its state, then sends clicked(). A disabled
    // button ignores it.
    void clickPlay() { play_.click(); }
    void clickStartWithMusic() { startWithMusic_.click(); }

    QLineEdit bpm_;
    QCheckBox startWithMusic_;
    QPushButton play_;
    ValueSlider volume_;
    Metronom metronom_;
    std::unique_ptr<MetronomControls> controls_;
    QString offImage_, onImage_;
};

}  // namespace

TEST_F(MetronomControlsTest, ButtonStartsAndStopsAndSwapsThePictures) {
    const QImage off = shown(play_);
    EXPECT_EQ(off.pixel(8, 8), QColor(Qt::red).rgba());

    clickPlay();
    EXPECT_TRUE(play_.isChecked());
    EXPECT_TRUE(metronom_.isRunning());
    EXPECT_EQ(metronom_.numberBPM(), QVariant(120));
    EXPECT_EQ(metronom_.schedule().intervalSeconds(), 0.5);
    EXPECT_EQ(controls_->image(), onImage_);
    EXPECT_EQ(controls_->alternateImage(), offImage_);
    EXPECT_EQ(shown(play_).pixel(8, 8), QColor(Qt::green).rgba());

    clickPlay();
    EXPECT_FALSE(play_.isChecked());
    EXPECT_FALSE(metronom_.isRunning());
    EXPECT_EQ(controls_->image(), offImage_);
    EXPECT_EQ(shown(play_).pixel(8, 8), QColor(Qt::red).rgba());
}

TEST_F(MetronomControlsTest, FieldIsReadAsItsWholeNumberAtEachStart) {
    bpm_.setText(QStringLiteral("120,5"));
    clickPlay();
    EXPECT_EQ(metronom_.numberBPM(), QVariant(120));
    // Editing the field while running changes nothing until the next start.
    bpm_.setText(QStringLiteral("90"));
    EXPECT_EQ(metronom_.schedule().intervalSeconds(), 0.5);
    clickPlay();
    clickPlay();
    EXPECT_EQ(metronom_.schedule().intervalSeconds(), 0.666666686534881591796875);
}

TEST_F(MetronomControlsTest, UnusableFieldLeavesItStoppedAndTheButtonOff) {
    for (const char* text : {"", "abc", "0", "-60", "99999"}) {
        bpm_.setText(QString::fromLatin1(text));
        ::testing::internal::CaptureStderr();
        clickPlay();
        const std::string out = ::testing::internal::GetCapturedStderr();
        EXPECT_FALSE(metronom_.isRunning()) << text;
        EXPECT_FALSE(play_.isChecked()) << text;
        EXPECT_EQ(controls_->image(), offImage_) << text;
        EXPECT_NE(out.find("the metronome stays stopped"), std::string::npos) << out;
    }
    // A usable value afterwards starts it with one click.
    bpm_.setText(QStringLiteral("60"));
    clickPlay();
    EXPECT_TRUE(metronom_.isRunning());
    EXPECT_EQ(controls_->image(), onImage_);
}

TEST_F(MetronomControlsTest, TickingTheBoxDisablesTheButtonAndStopsTheMetronome) {
    clickPlay();
    ASSERT_TRUE(metronom_.isRunning());
    clickStartWithMusic();
    EXPECT_FALSE(play_.isEnabled());
    EXPECT_FALSE(metronom_.isRunning());
    // The button keeps its state and running picture.
    EXPECT_TRUE(play_.isChecked());
    EXPECT_EQ(controls_->image(), onImage_);

    // Clearing the box enables the button without starting anything.
    clickStartWithMusic();
    EXPECT_TRUE(play_.isEnabled());
    EXPECT_FALSE(metronom_.isRunning());
}

TEST_F(MetronomControlsTest, MusicStartsItOnlyWithTheBoxTickedAndPauseStopsIt) {
    controls_->musicStarted();
    EXPECT_FALSE(metronom_.isRunning());

    clickStartWithMusic();
    bpm_.setText(QStringLiteral("128"));
    controls_->musicStarted();
    EXPECT_TRUE(metronom_.isRunning());
    EXPECT_EQ(metronom_.schedule().intervalSeconds(), 0.46875);
    controls_->musicPaused();
    EXPECT_FALSE(metronom_.isRunning());

    // Clearing the box while music and metronome run leaves the metronome running.
    controls_->musicStarted();
    clickStartWithMusic();
    EXPECT_TRUE(metronom_.isRunning());
    EXPECT_TRUE(play_.isEnabled());
    controls_->musicPaused();
    EXPECT_FALSE(metronom_.isRunning());
}

TEST_F(MetronomControlsTest, PauseStopsAMetronomeStartedByItsOwnButton) {
    clickPlay();
    controls_->musicPaused();
    EXPECT_FALSE(metronom_.isRunning());
    EXPECT_TRUE(play_.isChecked());
    EXPECT_EQ(controls_->image(), onImage_);

    // The next click turns the button off (stopping nothing) and swaps the pictures...
    clickPlay();
    EXPECT_FALSE(metronom_.isRunning());
    EXPECT_EQ(controls_->image(), offImage_);
    // ...and the one after starts it again.
    clickPlay();
    EXPECT_TRUE(metronom_.isRunning());
    EXPECT_EQ(controls_->image(), onImage_);
}

TEST_F(MetronomControlsTest, StopMetronomSwapsBackOnlyFromThePictureNamedBla) {
    clickPlay();
    controls_->stopMetronom();
    EXPECT_FALSE(play_.isEnabled());
    EXPECT_FALSE(metronom_.isRunning());
    EXPECT_EQ(controls_->image(), onImage_);

    const QString bla = writePicture(dir_, "bla.png", Qt::blue);
    play_.setEnabled(true);
    make(bla, offImage_);
    controls_->stopMetronom();
    EXPECT_FALSE(play_.isEnabled());
    EXPECT_EQ(controls_->image(), offImage_);
    EXPECT_EQ(controls_->alternateImage(), bla);
}

TEST_F(MetronomControlsTest, VolumeSliderSetsTheClickVolumeAtOnce) {
    if (!startEngine())
        GTEST_SKIP() << "no output device, not even SDL's dummy";
    metronom_.appendSoundEngine(&engine_, clickFile());
    ASSERT_NE(metronom_.soundClick(), 0U);
    metronom_.setVolume(Metronom::kStartVolume);

    volume_.setValue(40);  // as the user moves it: the slider reports the move
    float level = 0.0F;
    ASSERT_TRUE(BASS_ChannelGetAttribute(metronom_.soundClick(), BASS_ATTRIB_VOL, &level));
    EXPECT_FLOAT_EQ(level, 0.40F);

    // Set from code (as when settings are loaded), the slider sends no action.
    volume_.setFloatValue(10.0F);
    ASSERT_TRUE(BASS_ChannelGetAttribute(metronom_.soundClick(), BASS_ATTRIB_VOL, &level));
    EXPECT_FLOAT_EQ(level, 0.40F);
}
