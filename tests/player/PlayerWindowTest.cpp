// Start-up, the window's outlets and menus, closing, the Space key and the log-file command.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QPushButton>
#include <cstdlib>
#include <optional>

#include "PlayerFixture.h"
#include "player/ElidedLabel.h"
#include "ui/ValueSlider.h"
#include "visualisation/SpectrumView.h"

namespace {

// True when `w` (or the focus chain) lets the user type or move a value.
bool isControl(QWidget* w) {
    return qobject_cast<QAbstractSlider*>(w) || qobject_cast<QLineEdit*>(w) ||
           qobject_cast<QAbstractButton*>(w);
}

}  // namespace

TEST_F(PlayerTest, LaunchShowsTheWindowWithNoControlFocused) {
    ASSERT_TRUE(waitFor([this] { return d().window()->isVisible(); }));
    ASSERT_TRUE(QTest::qWaitForWindowActive(d().window()));
    QCoreApplication::processEvents();
    EXPECT_FALSE(isControl(QApplication::focusWidget()))
        << (QApplication::focusWidget() ? QApplication::focusWidget()->objectName().toStdString()
                                        : "none");
    // No music at start: no position timer.
    EXPECT_FALSE(d().updateTimer().isActive());
    EXPECT_FALSE(engine_.musicAvailable());
}

// The outlets are reached by name (see PlayerFixture.h): each name must be in the window, once,
// as the kind of control the window's code takes it for.
TEST_F(PlayerTest, EveryOutletIsConnectedToItsNamedControl) {
    const QMainWindow* w = d().window();
    EXPECT_EQ(w->objectName(), "window");
    const std::pair<QObject*, const char*> outlets[] = {
        {playButton(), "playButton"},
        {spectrumView(), "spectrumView"},
        {buttonMetronomStartWithMusic(), "buttonMetronomStartWithMusic"},
        {buttonMetronomPlay(), "buttonMetronomPlay"},
        {sliderTempo(), "sliderTempo"},
        {sliderRate(), "sliderRate"},
        {sliderPitch(), "sliderPitch"},
        {sliderVolume(), "sliderVolume"},
        {sliderPosition(), "sliderPosition"},
        {sliderMetronomVolume(), "sliderMetronomVolume"},
        {labelTempo(), "labelTempo"},
        {labelRate(), "labelRate"},
        {labelPitch(), "labelPitch"},
        {labelFilename(), "labelFilename"},
        {labelTime(), "labelTime"},
        {labelMetronomBPM(), "labelMetronomBPM"},
        {menuFile(), "menuFile"},
        {menuTonvera(), "menuTonvera"},
        {menuItemSparkle(), "menuItemSparkle"},
        {menuItemExportAsWAV(), "menuItemExportAsWAV"},
        {menuItemOpenLogFile(), "menuItemOpenLogFile"},
    };
    for (const auto& [object, name] : outlets) {
        ASSERT_NE(object, nullptr) << name;
        EXPECT_EQ(object->objectName(), name);
        // Found by name in the window: the interface resource made it, not the code.
        EXPECT_EQ(w->findChild<QObject*>(name), object) << name;
        EXPECT_EQ(w->findChildren<QObject*>(name).size(), 1) << name;
    }
}

TEST_F(PlayerTest, ControlsStartFromSensibleValues) {
    EXPECT_FLOAT_EQ(sliderTempo()->floatMinimum(), -50.0F);
    EXPECT_FLOAT_EQ(sliderTempo()->floatMaximum(), 100.0F);
    EXPECT_FLOAT_EQ(sliderTempo()->floatValue(), 0.0F);
    EXPECT_FLOAT_EQ(sliderPitch()->floatMinimum(), -12.0F);
    EXPECT_FLOAT_EQ(sliderPitch()->floatMaximum(), 12.0F);
    // Fine steps: a hundredth of a percent, a hundredth of a semitone.
    sliderTempo()->setFloatValue(12.34F);
    EXPECT_FLOAT_EQ(sliderTempo()->floatValue(), 12.34F);
    sliderPitch()->setFloatValue(-0.25F);
    EXPECT_FLOAT_EQ(sliderPitch()->floatValue(), -0.25F);
    EXPECT_FLOAT_EQ(sliderVolume()->floatValue(), 75.0F);
    EXPECT_EQ(labelTempo()->text(), "0,00");
    EXPECT_EQ(labelTime()->text(), "00:00 / 00:00");
    EXPECT_EQ(labelMetronomBPM()->text().toInt(), 120);
    // The visualisation panel is black before anything has played.
    SpectrumView* view = spectrumView();
    view->resize(200, 100);
    QImage panel(view->size(), QImage::Format_RGB32);
    panel.fill(Qt::white);
    view->render(&panel);
    EXPECT_EQ(panel.pixel(0, 0), qRgb(0, 0, 0));
    EXPECT_EQ(panel.pixel(199, 99), qRgb(0, 0, 0));
    EXPECT_EQ(panel.pixel(100, 50), qRgb(0, 0, 0));
}

TEST_F(PlayerTest, MenusHoldTheirCommandsWithLaterOnesDisabled) {
    QStringList fileItems;
    for (QAction* a : menuFile()->actions()) {
        if (!a->isSeparator())
            fileItems << (a->menu() != nullptr ? a->menu()->objectName() : a->objectName());
    }
    EXPECT_EQ(fileItems,
              QStringList({"menuItemOpenFile", "menuOpenRecent", "menuItemOpenSettingsFile",
                           "menuItemSaveSettingsFile", "menuItemExportAsWAV", "menuItemExportLoop",
                           "menuItemOpenLogFile"}));
    QStringList appItems;
    for (QAction* a : menuTonvera()->actions()) {
        if (!a->isSeparator())
            appItems << a->objectName();
    }
    EXPECT_EQ(appItems, QStringList({"menuItemAbout", "menuItemSettings", "menuItemSparkle",
                                     "menuItemQuit"}));

    auto action = [this](const char* name) { return d().window()->findChild<QAction*>(name); };
    EXPECT_EQ(action("menuItemOpenFile")->shortcut(), QKeySequence("Ctrl+O"));
    EXPECT_EQ(action("menuItemQuit")->shortcut(), QKeySequence("Ctrl+Q"));
    EXPECT_EQ(menuItemPlayPause()->shortcut(), QKeySequence(Qt::Key_Space));
    EXPECT_EQ(action("menuItemOpenSettingsFile")->shortcut(), QKeySequence("Ctrl+Shift+O"));
    EXPECT_EQ(action("menuItemSaveSettingsFile")->shortcut(), QKeySequence("Ctrl+S"));
    EXPECT_TRUE(action("menuItemOpenFile")->isEnabled());
    EXPECT_TRUE(menuItemOpenLogFile()->isEnabled());
    EXPECT_TRUE(action("menuItemSettings")->isEnabled());
    EXPECT_TRUE(action("menuItemOpenSettingsFile")->isEnabled());
    EXPECT_TRUE(action("menuItemSaveSettingsFile")->isEnabled());
    // Updates come from the package manager.
    EXPECT_FALSE(menuItemSparkle()->isVisible());
    EXPECT_TRUE(menuItemExportAsWAV()->isEnabled());
}

TEST_F(PlayerTest, OpenMenuOffersTheMusicTypesAndCancelChangesNothing) {
    chooserAnswer_.clear();
    d().window()->findChild<QAction*>("menuItemOpenFile")->trigger();
    EXPECT_EQ(chooserCalls_, 1);
    // The usual music types first, then everything the decoder reads, then anything at all.
    ASSERT_EQ(offeredTypes_.size(), 3);
    EXPECT_EQ(offeredTypes_[0], "Music files (*.wav *.mp4 *.m4a *.mp3 *.mp1 *.mp2 *.ogg *.aif)");
    EXPECT_TRUE(offeredTypes_[1].startsWith("All audio files (*.wav "));
    for (const char* type : {"*.flac", "*.aiff", "*.oga", "*.opus", "*.webm", "*.mka"}) {
        EXPECT_TRUE(offeredTypes_[1].contains(QLatin1String(type))) << type;
    }
    EXPECT_EQ(offeredTypes_[2], "All files (*)");
    EXPECT_FALSE(engine_.musicAvailable());
    EXPECT_FALSE(d().updateTimer().isActive());
}

TEST_F(PlayerTest, ClosingTheWindowEndsTheProgramAlsoWhilePlaying) {
    d().open(wav("song.wav", 3.0));
    d().clickedPlayButton();
    ASSERT_TRUE(engine_.isPlaying());
    ASSERT_TRUE(waitFor([this] { return d().window()->isVisible(); }));
    EXPECT_TRUE(d().window()->close());
    EXPECT_EQ(terminations_, 1);
    EXPECT_FALSE(d().window()->isVisible());

    // Quit from the menu takes the same road.
    d().showMainApplicationWindow();
    d().window()->findChild<QAction*>("menuItemQuit")->trigger();
    EXPECT_EQ(terminations_, 2);
}

TEST_F(PlayerTest, SpacePlaysFromEveryControlAlsoAfterReturnInAValueField) {
    ASSERT_TRUE(waitFor([this] { return d().window()->isVisible(); }));
    ASSERT_TRUE(QTest::qWaitForWindowActive(d().window()));

    // Without music, play asks for a file: that shows the key reached the play action.
    sliderTempo()->setFocus();
    QTest::keyClick(sliderTempo(), Qt::Key_Space);
    EXPECT_EQ(chooserCalls_, 1);

    // A value field holds numbers only: the blank goes to play, not into the text.
    for (QLineEdit* field : {labelTempo(), labelPitch(), labelRate(), labelMetronomBPM()}) {
        const int before = chooserCalls_;
        field->setFocus();
        const QString text = field->text();
        field->end(false);
        QTest::keyClick(field, Qt::Key_Space);
        EXPECT_EQ(chooserCalls_, before + 1) << field->objectName().toStdString();
        EXPECT_EQ(field->text(), text) << field->objectName().toStdString();
    }

    // Typed value, Return, Space: the value applies and the music plays.
    d().open(wav("song.wav", 3.0));
    labelTempo()->setFocus();
    labelTempo()->selectAll();
    QTest::keyClicks(labelTempo(), "-20");
    QTest::keyClick(labelTempo(), Qt::Key_Return);
    QTest::keyClick(labelTempo(), Qt::Key_Space);
    EXPECT_FLOAT_EQ(engine_.tempo(), -20.0F);
    EXPECT_TRUE(engine_.isPlaying());
    QTest::keyClick(labelTempo(), Qt::Key_Space);
    EXPECT_FALSE(engine_.isPlaying());

    // With music, Space toggles playing.
    d().open(wav("song.wav", 3.0));
    sliderPitch()->setFocus();
    QTest::keyClick(sliderPitch(), Qt::Key_Space);
    EXPECT_TRUE(engine_.isPlaying());
    QTest::keyClick(sliderPitch(), Qt::Key_Space);
    EXPECT_FALSE(engine_.isPlaying());
    // On the focused play button the key toggles once, not once as a shortcut and again as a
    // button click.
    playButton()->setFocus();
    QTest::keyClick(playButton(), Qt::Key_Space);
    EXPECT_TRUE(engine_.isPlaying());
}

TEST_F(PlayerTest, TheWindowHasTheProgramsIconAndElidesALongNameInTheMiddle) {
    EXPECT_FALSE(d().window()->windowIcon().isNull());

    ASSERT_TRUE(waitFor([this] { return d().window()->isVisible(); }));
    const QString name = QString(60, QLatin1Char('a')) + "_middle_" + QString(60, QLatin1Char('z'));
    d().open(wav(name.toStdString() + ".wav", 1.0));
    auto* label = static_cast<ElidedLabel*>(labelFilename());
    EXPECT_EQ(label->text(), ">> " + name + ".wav << ");  // the whole name stays the text
    d().window()->resize(d().window()->minimumSize());
    QCoreApplication::processEvents();
    const QString shown = label->shownText();
    EXPECT_TRUE(shown.startsWith(">> aaa")) << shown.toStdString();
    EXPECT_TRUE(shown.endsWith("zzz.wav << ")) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QChar(0x2026))) << shown.toStdString();
    EXPECT_LE(label->fontMetrics().horizontalAdvance(shown), label->contentsRect().width());
}

TEST_F(PlayerTest, ShowLogFileHandsTheLoggersPathToTheFileManager) {
    QStringList shown;
    d().setFileShower([&shown](const QString& path) { shown << path; });
    menuItemOpenLogFile()->trigger();
    EXPECT_EQ(shown, QStringList{QString::fromStdString(dir_.file("log.txt"))});
}

TEST_F(PlayerTest, OpenFileRequestAnswersTrueAlsoWhenTheFileCannotBeOpened) {
    EXPECT_TRUE(d().applicationOpenFile(QString::fromStdString(dir_.file("missing.wav"))));
    EXPECT_FALSE(engine_.musicAvailable());
    // A name beyond ASCII, with blanks, reaches the engine intact.
    EXPECT_TRUE(d().applicationOpenFile(wav("Étude für dich.wav", 1.0)));
    EXPECT_TRUE(engine_.musicAvailable());
    EXPECT_EQ(labelFilename()->text(), QString::fromUtf8(">> Étude für dich.wav << "));
}

namespace {

// The same window started on a machine whose sound system cannot be opened.
class NoSoundCardTest : public PlayerTest {
  protected:
    void SetUp() override {
        if (const char* previous = std::getenv("SDL_AUDIODRIVER"))
            previousDriver_ = previous;
        ::setenv("SDL_AUDIODRIVER", "tonvera-no-such-driver", 1);
        PlayerTest::SetUp();
    }
    void TearDown() override {
        PlayerTest::TearDown();
        if (previousDriver_) {
            ::setenv("SDL_AUDIODRIVER", previousDriver_->c_str(), 1);
        } else {
            ::unsetenv("SDL_AUDIODRIVER");
        }
    }
    std::optional<std::string> previousDriver_;
};

}  // namespace

TEST_F(NoSoundCardTest, TheWindowStillShowsAndEveryOpenFailsQuietly) {
    const std::string log = testsupport::readFile(dir_.file("log.txt"));
    if (log.find("SoundEngine: cannot initialize sound library / device:") == std::string::npos) {
        GTEST_SKIP() << "the audio layer opened a device despite the bogus driver (it keeps the "
                        "driver it chose first in this process)";
    }
    EXPECT_TRUE(waitFor([this] { return d().window()->isVisible(); }));
    const QString before = labelFilename()->text();
    d().open(wav("song.wav", 1.0));
    EXPECT_FALSE(engine_.musicAvailable());
    EXPECT_EQ(labelFilename()->text(), before);
    EXPECT_FALSE(d().updateTimer().isActive());
    // Play then asks for a file, as without music.
    d().clickedPlayButton();
    EXPECT_EQ(chooserCalls_, 1);
}
