// Opening music, play and pause, the sound controls and their value fields, the position tick.
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMimeData>
#include <QPushButton>
#include <QTimer>
#include <QUrl>

#include "PlayerFixture.h"
#include "audiolib/audiolib.h"
#include "player/OpenFailure.h"
#include "ui/ValueSlider.h"
#include "visualisation/GlobalSettings.h"
#include "visualisation/SpectrumView.h"

namespace {

// Types text into a value field as a user does, ending with Return.
void type(QLineEdit* field, const QString& text) {
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, text);
    QTest::keyClick(field, Qt::Key_Return);
}

}  // namespace

TEST_F(PlayerTest, OpeningSetsEveryControlFromTheFile) {
    // Controls moved away first, so the open must really reset them.
    sliderTempo()->setFloatValue(30.0F);
    sliderPitch()->setFloatValue(5.0F);
    sliderVolume()->setFloatValue(10.0F);

    d().open(wav("song.wav", 2.5, 48000));
    ASSERT_TRUE(engine_.musicAvailable());
    EXPECT_EQ(labelFilename()->text(), ">> song.wav << ");
    EXPECT_FLOAT_EQ(sliderTempo()->floatValue(), 0.0F);
    EXPECT_EQ(labelTempo()->text(), "0,00");
    EXPECT_FLOAT_EQ(sliderPitch()->floatValue(), 0.0F);
    EXPECT_EQ(labelPitch()->text(), "0,00");
    // 70..130 % of the file's own rate, in single precision: 62399, not 62400.
    EXPECT_EQ(sliderRate()->minimum(), 33600);
    EXPECT_EQ(sliderRate()->maximum(), 62399);
    EXPECT_FLOAT_EQ(sliderRate()->floatValue(), 48000.0F);
    EXPECT_EQ(labelRate()->text(), "48000,00");
    EXPECT_FLOAT_EQ(sliderVolume()->floatValue(), 75.0F);
    EXPECT_FLOAT_EQ(engine_.volume(), 0.75F);
    EXPECT_EQ(sliderPosition()->minimum(), 0);
    EXPECT_EQ(sliderPosition()->maximum(), 2);
    EXPECT_EQ(playButton()->accessibleName(), "Play");
    EXPECT_FALSE(playButton()->icon().isNull());
    EXPECT_TRUE(d().updateTimer().isActive());
    EXPECT_EQ(d().updateTimer().interval(), 100);
    // Opened, not started.
    EXPECT_FALSE(engine_.isPlaying());
}

TEST_F(PlayerTest, OpeningThreeFilesLeavesOnePositionTimer) {
    d().open(wav("a.wav", 1.0, 8000));
    d().open(wav("b.mp3", 1.0, 44100));
    EXPECT_EQ(labelFilename()->text(), ">> b.mp3 << ");
    d().open(wav("c.wav", 1.0, 96000));
    EXPECT_EQ(labelFilename()->text(), ">> c.wav << ");
    EXPECT_EQ(sliderRate()->minimum(), 67200);
    EXPECT_EQ(sliderRate()->maximum(), 124799);
    EXPECT_TRUE(d().updateTimer().isActive());
    int active = 0;
    for (QTimer* t : d().findChildren<QTimer*>())
        active += t->isActive() ? 1 : 0;
    for (QTimer* t : d().window()->findChildren<QTimer*>())
        active += t->isActive() ? 1 : 0;
    EXPECT_EQ(active, 0) << "no timer besides the position timer";
}

TEST_F(PlayerTest, AFailedOpenShowsNoMusicAndSaysWhyInOneSentence) {
    ASSERT_TRUE(waitFor([this] { return d().window()->isVisible(); }));
    const QString title = d().window()->windowTitle();
    const QString noMusic = labelFilename()->text();

    const std::string corrupt =
        junkFile("corrupt.wav", std::string("RIFF\x10\0\0\0WAVEjunkjunkjunk", 23));
    const std::string empty = junkFile("empty.mp3", "");
    const struct {
        std::string path;
        const char* because;
    } cases[] = {
        {dir_.file("missing.wav"), "could not be read"},
        {corrupt, "or it is damaged"},
        {empty, "or it is damaged"},
        {std::string(), "No music file was named"},
    };
    for (const auto& c : cases) {
        d().open(wav("good.wav", 2.5, 48000));
        ASSERT_TRUE(engine_.musicAvailable());
        sliderPosition()->setValue(1);
        ASSERT_TRUE(waitFor([this] { return labelTime()->text() == "00:01 / 00:02"; }));
        told_.clear();

        d().open(QString::fromStdString(c.path));
        EXPECT_FALSE(engine_.musicAvailable()) << c.path;
        // Nothing of the old music is left on screen.
        EXPECT_EQ(labelFilename()->text(), noMusic) << c.path;
        EXPECT_EQ(d().window()->windowTitle(), title) << c.path;
        EXPECT_EQ(playButton()->accessibleName(), "Play") << c.path;
        EXPECT_EQ(labelTime()->text(), "00:00 / 00:00") << c.path;
        EXPECT_EQ(sliderPosition()->maximum(), 0) << c.path;
        EXPECT_FALSE(d().updateTimer().isActive()) << c.path;
        ASSERT_TRUE(waitFor([this] { return !told_.isEmpty(); })) << c.path;
        ASSERT_EQ(told_.size(), 1) << c.path;
        EXPECT_TRUE(told_.first().contains(QLatin1String(c.because)))
            << c.path << ": " << told_.first().toStdString();
        EXPECT_EQ(told_.first().count(QLatin1Char('.')) -
                      QString::fromStdString(c.path).count(QLatin1Char('.')),
                  1)
            << "one sentence: " << told_.first().toStdString();
    }
    // The log keeps the engine's line.
    EXPECT_NE(testsupport::readFile(dir_.file("log.txt")).find("SoundEngine: failed to load file"),
              std::string::npos);

    // Notes saved under a music name. The message names the code the library gives for the call
    // that failed (opening the source, or making the tempo stream over it), not the 0 that
    // freeing a half-made chain leaves as the thread's last error.
    const std::string notes = junkFile("notes.mp3", "Bar 12: bow lighter.\nBar 30: slower.\n");
    int expected = 0;
    if (const HSTREAM source = BASS_StreamCreateFile(FALSE, notes.c_str(), 0, 0,
                                                     BASS_STREAM_DECODE | BASS_SAMPLE_FLOAT)) {
        const HSTREAM tempo = BASS_FX_TempoCreate(source, BASS_FX_FREESOURCE | BASS_SAMPLE_LOOP);
        expected = BASS_ErrorGetCode();
        BASS_StreamFree(tempo != 0 ? tempo : source);
    } else {
        expected = BASS_ErrorGetCode();
    }
    ASSERT_NE(expected, 0);
    told_.clear();
    d().open(QString::fromStdString(notes));
    EXPECT_FALSE(engine_.musicAvailable());
    ASSERT_TRUE(waitFor([this] { return !told_.isEmpty(); }));
    EXPECT_EQ(told_.first(), openFailureText(QString::fromStdString(notes), expected));
    const std::string log = testsupport::readFile(dir_.file("log.txt"));
    EXPECT_NE(log.find("SoundEngine: failed to load file: " + notes + "\n"), std::string::npos);
    EXPECT_NE(log.find("SoundEngine.open: ERROR CODE: " + std::to_string(expected) + "\n"),
              std::string::npos);
    // Play without music now asks for a file again.
    d().clickedPlayButton();
    EXPECT_EQ(chooserCalls_, 1);
}

TEST_F(PlayerTest, AMessageBeforeTheWindowShowsWaitsForIt) {
    d().window()->hide();
    QCoreApplication::processEvents();
    d().applicationOpenFile(QString::fromStdString(dir_.file("missing.wav")));
    QCoreApplication::processEvents();
    EXPECT_TRUE(told_.isEmpty());
    d().showMainApplicationWindow();
    EXPECT_TRUE(waitFor([this] { return told_.size() == 1; }));
}

TEST_F(PlayerTest, PlayWithoutMusicAsksForAFileAndOpensItStopped) {
    chooserAnswer_ = wav("chosen.wav", 2.0);
    d().clickedPlayButton();
    EXPECT_EQ(chooserCalls_, 1);
    ASSERT_TRUE(engine_.musicAvailable());
    EXPECT_EQ(labelFilename()->text(), ">> chosen.wav << ");
    EXPECT_FALSE(engine_.isPlaying());
    EXPECT_EQ(engine_.currentpos(), 0U);
    EXPECT_EQ(playButton()->accessibleName(), "Play");

    // Cancelled chooser: nothing happens.
    chooserAnswer_.clear();
    d().open(QString::fromStdString(dir_.file("missing.wav")));
    d().clickedPlayButton();
    EXPECT_EQ(chooserCalls_, 2);
    EXPECT_FALSE(engine_.musicAvailable());
}

TEST_F(PlayerTest, PauseAndResumeKeepThePosition) {
    d().open(wav("long.wav", 6.0));
    QTest::mouseClick(playButton(), Qt::LeftButton);
    ASSERT_TRUE(engine_.isPlaying());
    EXPECT_EQ(playButton()->accessibleName(), "Pause");
    ASSERT_TRUE(waitFor([this] { return engine_.currentpos() >= 1; }))
        << "playback does not advance";

    QTest::mouseClick(playButton(), Qt::LeftButton);
    EXPECT_FALSE(engine_.isPlaying());
    EXPECT_EQ(playButton()->accessibleName(), "Play");
    const std::uint32_t paused = engine_.currentpos();
    ASSERT_GE(paused, 1U);
    QTest::qWait(300);
    EXPECT_EQ(engine_.currentpos(), paused);
    // The tick shows the paused place.
    EXPECT_TRUE(waitFor([this, paused] { return sliderPosition()->value() == int(paused); }));

    QTest::mouseClick(playButton(), Qt::LeftButton);
    EXPECT_TRUE(engine_.isPlaying());
    EXPECT_GE(engine_.currentpos(), paused) << "resumed from the start instead";
    EXPECT_TRUE(waitFor([this, paused] { return engine_.currentpos() > paused; }));
}

TEST_F(PlayerTest, TimeDisplayFollowsTheTempo) {
    d().open(wav("four.wav", 4.5));
    sliderPosition()->setValue(2);  // as a user drags it: seeks
    EXPECT_EQ(engine_.currentpos(), 2U);
    EXPECT_TRUE(waitFor([this] { return labelTime()->text() == "00:02 / 00:04"; }))
        << labelTime()->text().toStdString();

    sliderTempo()->setValue(10000);  // +100 %: twice as fast
    EXPECT_FLOAT_EQ(engine_.tempoRatio(), 2.0F);
    EXPECT_TRUE(waitFor([this] { return labelTime()->text() == "00:01 / 00:02"; }))
        << labelTime()->text().toStdString();

    sliderTempo()->setValue(-5000);  // -50 %: half as fast
    EXPECT_TRUE(waitFor([this] { return labelTime()->text() == "00:04 / 00:08"; }))
        << labelTime()->text().toStdString();
}

TEST_F(PlayerTest, SlidersDriveTheEngineAndRewriteTheirFields) {
    d().open(wav("song.wav", 2.0));
    sliderTempo()->setValue(1234);
    EXPECT_FLOAT_EQ(engine_.tempo(), 12.34F);
    EXPECT_EQ(labelTempo()->text(), "12,35");
    sliderPitch()->setValue(-200);
    EXPECT_FLOAT_EQ(engine_.pitch(), -2.0F);
    EXPECT_EQ(labelPitch()->text(), "-2,00");
    sliderRate()->setValue(40000);
    EXPECT_FLOAT_EQ(engine_.samplerate(), 40000.0F);
    EXPECT_EQ(labelRate()->text(), "40000,00");
    sliderVolume()->setValue(50);
    EXPECT_FLOAT_EQ(engine_.volume(), 0.5F);

    // Set from code (as opening does): the engine is not touched.
    sliderTempo()->setFloatValue(40.0F);
    EXPECT_FLOAT_EQ(engine_.tempo(), 12.34F);
}

TEST_F(PlayerTest, TypedValuesReachTheEngineWithACommaOrAPoint) {
    d().open(wav("song.wav", 2.0));
    type(labelTempo(), "12,5");
    EXPECT_FLOAT_EQ(engine_.tempo(), 12.5F);
    EXPECT_EQ(sliderTempo()->value(), 1250);
    EXPECT_EQ(labelTempo()->text(), "12,5");  // kept as typed

    type(labelTempo(), "-7.25");
    EXPECT_FLOAT_EQ(engine_.tempo(), -7.25F);
    EXPECT_EQ(sliderTempo()->value(), -725);

    type(labelRate(), "40000,5");
    EXPECT_FLOAT_EQ(engine_.samplerate(), 40000.5F);
}

TEST_F(PlayerTest, ATypedValueBeyondTheSliderIsHeldAtItsEndAndShownAsApplied) {
    d().open(wav("song.wav", 2.0));
    // Some of these the engine would refuse, keeping the old value while the field showed the
    // new one.
    const struct {
        QLineEdit* field;
        const char* typed;
        float (SoundEngine::*playing)() const;
        float applied;
        const char* shown;
    } cases[] = {
        {labelPitch(), "-12.345", &SoundEngine::pitch, -12.0F, "-12,00"},
        {labelPitch(), "-1e9", &SoundEngine::pitch, -12.0F, "-12,00"},
        {labelTempo(), "200", &SoundEngine::tempo, 100.0F, "100,00"},
        {labelTempo(), "1e9", &SoundEngine::tempo, 100.0F, "100,00"},
        {labelRate(), "1000", &SoundEngine::samplerate, 30870.0F, "30870,00"},
    };
    for (const auto& c : cases) {
        type(c.field, c.typed);
        EXPECT_FLOAT_EQ((engine_.*c.playing)(), c.applied) << c.typed;
        EXPECT_EQ(c.field->text(), c.shown) << c.typed;
    }
    EXPECT_FLOAT_EQ(sliderPitch()->floatValue(), -12.0F);
    EXPECT_FLOAT_EQ(sliderTempo()->floatValue(), 100.0F);
    EXPECT_FLOAT_EQ(sliderRate()->floatValue(), 30870.0F);
}

TEST_F(PlayerTest, TextThatIsNotANumberLeavesTheEngineUnchanged) {
    d().open(wav("song.wav", 2.0));
    sliderTempo()->setValue(1234);
    ASSERT_FLOAT_EQ(engine_.tempo(), 12.34F);

    for (const char* junk : {"abc", "", "1,2,3", "12x"}) {
        type(labelTempo(), junk);
        EXPECT_FLOAT_EQ(engine_.tempo(), 12.34F) << junk;
        EXPECT_EQ(sliderTempo()->value(), 1234) << junk;
        // The field shows the value in force again.
        EXPECT_EQ(labelTempo()->text(), "12,35") << junk;
    }
    // Return on the shown, rounded text does not turn 12.34 into 12.35.
    labelTempo()->setFocus();
    QTest::keyClick(labelTempo(), Qt::Key_Return);
    EXPECT_FLOAT_EQ(engine_.tempo(), 12.34F);

    // The field is restored to what plays, not to the slider's rounded copy of it.
    type(labelRate(), "40000,5");
    ASSERT_EQ(sliderRate()->value(), 40001);
    type(labelRate(), "abc");
    EXPECT_EQ(labelRate()->text(), "40000,50");
    EXPECT_FLOAT_EQ(engine_.samplerate(), 40000.5F);
}

TEST_F(PlayerTest, OneArrowStepOfThePitchSliderShowsTheStepThatPlays) {
    d().open(wav("song.wav", 2.0));
    sliderPitch()->setFocus();
    QTest::keyClick(sliderPitch(), Qt::Key_Right);
    EXPECT_FLOAT_EQ(engine_.pitch(), 0.1F);
    EXPECT_EQ(labelPitch()->text(), "0,10");
}

TEST_F(PlayerTest, AClickOnThePositionBarSeeksToThePlaceClicked) {
    d().open(wav("long.wav", 40.0, 8000));
    ValueSlider* position = sliderPosition();
    ASSERT_EQ(position->maximum(), 40);
    ASSERT_TRUE(waitFor([this] { return d().window()->isVisible(); }));
    // Three quarters along the groove: far more than one page (10 s) from the handle at 0.
    const QPoint place(position->width() * 3 / 4, position->height() / 2);
    QTest::mouseClick(position, Qt::LeftButton, Qt::NoModifier, place);
    EXPECT_GE(engine_.currentpos(), 27U);
    EXPECT_LE(engine_.currentpos(), 33U);
    EXPECT_EQ(position->value(), static_cast<int>(engine_.currentpos()));
}

TEST_F(PlayerTest, MovingThePositionSliderSeeksPlayingOrPaused) {
    d().open(wav("six.wav", 6.0));
    sliderPosition()->setValue(4);
    EXPECT_EQ(engine_.currentpos(), 4U);
    EXPECT_FALSE(engine_.isPlaying());
    d().clickedPlayButton();
    sliderPosition()->setValue(1);
    EXPECT_TRUE(engine_.isPlaying());
    EXPECT_GE(engine_.currentpos(), 1U);
    EXPECT_LT(engine_.currentpos(), 4U);
}

TEST_F(PlayerTest, TheTickLeavesAHeldPositionHandleAloneAndReleaseSeeks) {
    d().open(wav("six.wav", 6.0));
    d().clickedPlayButton();
    ValueSlider* position = sliderPosition();
    // The user grabs the handle and drags it to second 4 (the slider does not track, so its
    // value stays until release).
    position->setSliderDown(true);
    position->setSliderPosition(4);
    EXPECT_LT(engine_.currentpos(), 4U) << "dragging alone must not seek";
    // The display previews the place under the handle; the handle stays where it is held.
    EXPECT_TRUE(waitFor([this] { return labelTime()->text() == "00:04 / 00:06"; }))
        << labelTime()->text().toStdString();
    EXPECT_EQ(position->sliderPosition(), 4);

    position->setSliderDown(false);
    EXPECT_EQ(position->value(), 4);
    EXPECT_GE(engine_.currentpos(), 4U);
    EXPECT_TRUE(engine_.isPlaying());
}

TEST_F(PlayerTest, TheTickFeedsTheSpectrumViewOnlyWhilePlaying) {
    GlobalSettings& settings = GlobalSettings::sharedSingleton();
    const std::int32_t previous = settings.spectrumType();
    settings.setSpectrumType(SpectrumTypeWaveForm);
    SpectrumView* view = spectrumView();
    const auto heldTraces = [view] {
        const SpectrumData data = view->specData();
        const auto* traces = std::get_if<std::vector<std::vector<int>>>(&data);
        return traces != nullptr ? traces->size() : 0U;
    };

    d().open(wav("song.wav", 4.0));
    QTest::qWait(250);
    EXPECT_EQ(heldTraces(), 0U) << "fetched while nothing plays";

    d().clickedPlayButton();
    EXPECT_TRUE(waitFor([&heldTraces] { return heldTraces() == 2U; }))
        << "the tick gave the view no waveform of the stereo music";

    // Paused: the last picture stays.
    d().clickedPlayButton();
    view->setSpecData(std::vector<int>{1, 2, 3});
    QTest::qWait(250);
    EXPECT_EQ(view->specData(), SpectrumData(std::vector<int>{1, 2, 3}));
    settings.setSpectrumType(previous);
}

TEST_F(PlayerTest, AFileDroppedOnTheViewOpensThroughTheController) {
    const QString path = wav("dropped.wav", 1.0, 22050);
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(path)});
    SpectrumView* view = spectrumView();
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view, &enter);
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view, &drop);
    EXPECT_TRUE(waitFor([this] { return engine_.musicAvailable(); }));
    EXPECT_EQ(labelFilename()->text(), ">> dropped.wav << ");
    EXPECT_EQ(sliderRate()->maximum(), 28664);
}
