// The practice settings menu commands on the real window and engine, with the panels and alerts
// answered by the test; and the settings window command.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <algorithm>
#include <future>
#include <utility>
#include <vector>

#include "PlayerFixture.h"
#include "audiolib/audiolib.h"
#include "formats/PracticeSettingsFile.h"
#include "metronome/Metronom.h"
#include "player/practice/HearingTools.h"
#include "player/practice/PracticeTools.h"
#include "player/settingsfile/PracticeSettingsCommands.h"
#include "ui/ValueSlider.h"
#include "visualisation/GlobalSettings.h"
#include "visualisation/SettingsController.h"

namespace {

class PlayerPracticeSettingsTest : public PlayerTest {
  protected:
    void SetUp() override {
        PlayerTest::SetUp();
        PracticeSettingsDialogs dialogs;
        dialogs.chooseFileToSave = [this](const FilePanel&) {
            ++savePanels_;
            return saveAnswer_;
        };
        dialogs.chooseFileToOpen = [this](const FilePanel&) {
            ++openPanels_;
            return openAnswer_;
        };
        dialogs.askYesNo = [this](const QString& message, const QString& informative) {
            questions_.emplace_back(message, informative);
            lockFreeDuringQuestion_ = lockIsFreeForAnotherThread();
            return answer_;
        };
        dialogs.inform = [this](const QString& message, const QString& informative) {
            messages_.emplace_back(message, informative);
        };
        d().setPracticeSettingsDialogs(std::move(dialogs));
    }

    // The position tick runs on the main thread only, so another thread is the one way to see
    // whether the controller's lock is held.
    bool lockIsFreeForAnotherThread() {
        std::recursive_mutex& lock = d().controllerLock();
        return std::async(std::launch::async,
                          [&lock] {
                              const bool got = lock.try_lock();
                              if (got)
                                  lock.unlock();
                              return got;
                          })
            .get();
    }

    QAction* action(const char* name) { return d().window()->findChild<QAction*>(name); }
    void save() { action("menuItemSaveSettingsFile")->trigger(); }
    void load() { action("menuItemOpenSettingsFile")->trigger(); }

    float clickVolume() {
        float level = -1.0F;
        EXPECT_TRUE(
            BASS_ChannelGetAttribute(d().metronom()->soundClick(), BASS_ATTRIB_VOL, &level));
        return level;
    }

    // Music open and a set-up made as the user makes it: every control moved by its action.
    void practiceSetUp(const QString& music) {
        d().open(music);
        ASSERT_TRUE(engine_.musicAvailable());
        sliderTempo()->setValue(1234);  // 12.34 %
        sliderPitch()->setValue(-250);  // -2.5 semitones
        sliderRate()->setValue(47000);  // Hz
        sliderVolume()->setValue(60);   // %
        sliderMetronomVolume()->setValue(40);
        labelMetronomBPM()->setText("132");
        QTest::mouseClick(buttonMetronomStartWithMusic(), Qt::LeftButton);
        ASSERT_FLOAT_EQ(engine_.tempo(), 12.34F);
        ASSERT_FLOAT_EQ(clickVolume(), 0.40F);
    }

    // Every control and attribute somewhere else, also as the user does it.
    void changeEverything() {
        sliderTempo()->setValue(-3000);
        sliderPitch()->setValue(700);
        sliderRate()->setValue(40000);
        sliderVolume()->setValue(90);
        sliderMetronomVolume()->setValue(10);
        labelMetronomBPM()->setText("77");
        QTest::mouseClick(buttonMetronomStartWithMusic(), Qt::LeftButton);
        ASSERT_FALSE(buttonMetronomStartWithMusic()->isChecked());
        ASSERT_FLOAT_EQ(engine_.tempo(), -30.0F);
    }

    void expectThePracticeSetUp() {
        EXPECT_FLOAT_EQ(sliderTempo()->floatValue(), 12.34F);
        EXPECT_EQ(labelTempo()->text(), "12,35");
        EXPECT_FLOAT_EQ(sliderPitch()->floatValue(), -2.5F);
        EXPECT_EQ(labelPitch()->text(), "-2,50");
        EXPECT_FLOAT_EQ(sliderRate()->floatValue(), 47000.0F);
        EXPECT_EQ(labelRate()->text(), "47000,00");
        EXPECT_FLOAT_EQ(sliderVolume()->floatValue(), 60.0F);
        EXPECT_FLOAT_EQ(engine_.tempo(), 12.34F);
        EXPECT_FLOAT_EQ(engine_.pitch(), -2.5F);
        EXPECT_FLOAT_EQ(engine_.samplerate(), 47000.0F);
        EXPECT_FLOAT_EQ(engine_.volume(), 0.60F);
        EXPECT_EQ(labelMetronomBPM()->text(), "132");
        EXPECT_TRUE(buttonMetronomStartWithMusic()->isChecked());
        EXPECT_FLOAT_EQ(sliderMetronomVolume()->floatValue(), 40.0F);
        EXPECT_FLOAT_EQ(clickVolume(), 0.40F);
    }

    QString settingsPath(const char* name) { return QString::fromStdString(dir_.file(name)); }

    QString saveAnswer_, openAnswer_;
    qint64 answer_ = 1001;  // "No"
    int savePanels_ = 0, openPanels_ = 0;
    std::vector<std::pair<QString, QString>> questions_, messages_;
    bool lockFreeDuringQuestion_ = true;
};

}  // namespace

TEST_F(PlayerPracticeSettingsTest, SaveThenOpenWithNoRestoresEveryControlAndTheEngine) {
    const QString music = wav("piece.wav", 6.0, 48000);
    practiceSetUp(music);
    saveAnswer_ = settingsPath("piece");  // the extension is added
    save();
    ASSERT_EQ(savePanels_, 1);
    ASSERT_TRUE(QFile::exists(settingsPath("piece.sps")));
    EXPECT_TRUE(messages_.empty());

    changeEverything();
    d().clickedPlayButton();
    ASSERT_TRUE(engine_.isPlaying());
    QPushButton* metronomButton = buttonMetronomPlay();
    ASSERT_TRUE(metronomButton->isEnabled());

    openAnswer_ = settingsPath("piece.sps");
    load();
    ASSERT_EQ(questions_.size(), 1U);
    EXPECT_EQ(questions_[0].first, "Do you want to load the music file from the settings too?");
    EXPECT_EQ(questions_[0].second, "settings music file: " + music);
    EXPECT_FALSE(lockFreeDuringQuestion_) << "the controller's lock is not held while asking";
    EXPECT_TRUE(lockIsFreeForAnotherThread()) << "the lock is still held after the load";
    expectThePracticeSetUp();
    EXPECT_EQ(d().metronom()->numberBPM().toInt(), 132);
    // "No" keeps the music playing; ticking the box from the file ran no action of its own.
    EXPECT_TRUE(engine_.isPlaying());
    EXPECT_EQ(QString::fromStdString(engine_.musicFile()), music);
    EXPECT_TRUE(metronomButton->isEnabled());
    EXPECT_FALSE(d().metronom()->isRunning());
}

TEST_F(PlayerPracticeSettingsTest, YesReopensTheStoredMusicBeforeApplyingTheRest) {
    const QString stored = wav("stored.wav", 6.0, 48000);
    practiceSetUp(stored);
    saveAnswer_ = settingsPath("stored.sps");
    save();

    // Other music open, playing: "Yes" brings the stored one back, stopped at its start, with
    // the stored values rather than those an open gives.
    d().open(wav("other.wav", 3.0, 22050));
    d().clickedPlayButton();
    ASSERT_TRUE(engine_.isPlaying());
    openAnswer_ = settingsPath("stored.sps");
    answer_ = 1000;
    load();
    ASSERT_EQ(questions_.size(), 1U);
    EXPECT_EQ(QString::fromStdString(engine_.musicFile()), stored);
    EXPECT_EQ(labelFilename()->text(), ">> stored.wav << ");
    EXPECT_EQ(sliderRate()->maximum(), 62399) << "rate range not set from the stored music";
    EXPECT_FALSE(engine_.isPlaying());
    EXPECT_EQ(engine_.currentpos(), 0U);
    expectThePracticeSetUp();

    // The same music already open: it is reopened all the same, from its beginning.
    sliderPosition()->setValue(3);
    ASSERT_EQ(engine_.currentpos(), 3U);
    load();
    EXPECT_EQ(questions_.size(), 2U);
    EXPECT_EQ(engine_.currentpos(), 0U);
    expectThePracticeSetUp();
}

TEST_F(PlayerPracticeSettingsTest, WithoutMusicOpenTheStoredMusicLoadsWithoutAsking) {
    PracticeSettings settings;
    settings.musicFile = wav("piece.wav", 2.0, 44100);
    settings.musicVolume = 50.0F;
    settings.musicTempo = -10.0F;
    settings.musicSamplerate = 40000.0F;
    settings.musicPitch = 3.0F;
    settings.metronomBpm = QVariant(100.7);
    settings.metronomAutostart = 0;
    settings.metronomVolume = 80.0F;
    ASSERT_EQ(PracticeSettingsFile::write(settingsPath("p.sps"), settings), QString());

    openAnswer_ = settingsPath("p.sps");
    load();
    EXPECT_TRUE(questions_.empty());
    ASSERT_TRUE(engine_.musicAvailable());
    EXPECT_EQ(labelFilename()->text(), ">> piece.wav << ");
    EXPECT_FLOAT_EQ(engine_.tempo(), -10.0F);
    EXPECT_FLOAT_EQ(engine_.pitch(), 3.0F);
    EXPECT_FLOAT_EQ(engine_.samplerate(), 40000.0F);
    EXPECT_FLOAT_EQ(engine_.volume(), 0.5F);
    // A real beat rate shows its whole number, and that is what the next start plays at.
    EXPECT_EQ(labelMetronomBPM()->text(), "100");
    QTest::mouseClick(buttonMetronomPlay(), Qt::LeftButton);
    EXPECT_EQ(d().metronom()->numberBPM(), QVariant(100));
    EXPECT_TRUE(d().metronom()->isRunning());
}

TEST_F(PlayerPracticeSettingsTest, MissingStoredMusicIsToldAndTheSetUpWaitsForTheNextOpen) {
    PracticeSettings settings;
    settings.musicFile = settingsPath("moved away.wav");
    settings.musicVolume = 50.0F;
    settings.musicTempo = -10.0F;
    settings.musicSamplerate = 28000.0F;  // below the rate range the window has without music
    settings.musicPitch = 3.0F;
    settings.metronomBpm = QVariant(100);
    settings.metronomAutostart = 1;
    settings.metronomVolume = 80.0F;
    ASSERT_EQ(PracticeSettingsFile::write(settingsPath("p.sps"), settings), QString());

    openAnswer_ = settingsPath("p.sps");
    load();
    EXPECT_FALSE(engine_.musicAvailable());
    ASSERT_TRUE(waitFor([this] { return told_.size() == 1; }));
    EXPECT_TRUE(told_.first().contains("moved away.wav")) << told_.first().toStdString();
    EXPECT_FLOAT_EQ(sliderTempo()->floatValue(), -10.0F);

    // The user finds the music and opens it: it plays as the set-up says, not as a fresh file.
    d().open(wav("found.wav", 2.0, 22050));
    ASSERT_TRUE(engine_.musicAvailable());
    EXPECT_FLOAT_EQ(engine_.tempo(), -10.0F);
    EXPECT_FLOAT_EQ(engine_.pitch(), 3.0F);
    EXPECT_FLOAT_EQ(engine_.samplerate(), 28000.0F);
    EXPECT_EQ(labelTempo()->text(), "-10,00");
    EXPECT_EQ(labelPitch()->text(), "3,00");
    EXPECT_EQ(labelRate()->text(), "28000,00");
    EXPECT_EQ(labelMetronomBPM()->text(), "100");
    EXPECT_TRUE(buttonMetronomStartWithMusic()->isChecked());
    EXPECT_FLOAT_EQ(clickVolume(), 0.80F);
    // Only once: the open after that starts from the file again.
    d().open(wav("other.wav", 1.0, 22050));
    EXPECT_FLOAT_EQ(engine_.tempo(), 0.0F);
    EXPECT_FLOAT_EQ(engine_.samplerate(), 22050.0F);
}

TEST_F(PlayerPracticeSettingsTest, LoadingLeavesARunningMetronomeRunning) {
    QTest::mouseClick(buttonMetronomPlay(), Qt::LeftButton);
    ASSERT_TRUE(d().metronom()->isRunning());
    PracticeSettings settings;
    settings.metronomBpm = QVariant(qlonglong(90));
    settings.metronomAutostart = 1;
    settings.metronomVolume = 70.0F;
    ASSERT_EQ(PracticeSettingsFile::write(settingsPath("m.sps"), settings), QString());
    openAnswer_ = settingsPath("m.sps");
    load();
    // The box is ticked without its action: the metronome is not stopped, its button stays on.
    EXPECT_TRUE(buttonMetronomStartWithMusic()->isChecked());
    EXPECT_TRUE(d().metronom()->isRunning());
    EXPECT_TRUE(buttonMetronomPlay()->isEnabled());
    EXPECT_DOUBLE_EQ(d().metronom()->schedule().intervalSeconds(), 0.5) << "restarted at 90";
    EXPECT_FLOAT_EQ(clickVolume(), 0.70F);
}

TEST_F(PlayerPracticeSettingsTest, SavingWithoutMusicTellsWhyAndWritesNothing) {
    saveAnswer_ = settingsPath("none.sps");
    save();
    EXPECT_EQ(savePanels_, 0);
    ASSERT_EQ(messages_.size(), 1U);
    EXPECT_EQ(messages_[0].first, "There is no music to save practice settings for.");
    EXPECT_FALSE(QFile::exists(saveAnswer_));
}

TEST_F(PlayerPracticeSettingsTest, AFailedSaveIsReportedAndKeepsTheOldFile) {
    practiceSetUp(wav("piece.wav", 2.0));
    // A folder stands where the file should go: no write can replace it.
    saveAnswer_ = settingsPath("taken.sps");
    ASSERT_TRUE(QDir().mkpath(saveAnswer_));
    save();
    ASSERT_EQ(messages_.size(), 1U);
    EXPECT_EQ(messages_[0].first, "The practice settings could not be saved.");
    EXPECT_TRUE(messages_[0].second.contains("taken.sps")) << messages_[0].second.toStdString();
    EXPECT_TRUE(QFileInfo(saveAnswer_).isDir());

    // A file in a folder that does not exist: reported too, nothing created.
    saveAnswer_ = settingsPath("no/such/folder/x.sps");
    save();
    EXPECT_EQ(messages_.size(), 2U);
    EXPECT_FALSE(QFile::exists(saveAnswer_));
}

TEST_F(PlayerPracticeSettingsTest, AnUnreadableFileIsReportedAndChangesNothing) {
    const QString music = wav("piece.wav", 4.0, 48000);
    practiceSetUp(music);
    d().clickedPlayButton();
    const std::string junk = junkFile("junk.sps", "<?xml version=\"1.0\"?><plist><array>");
    for (const QString& path : {QString::fromStdString(junk), settingsPath("missing.sps")}) {
        openAnswer_ = path;
        messages_.clear();
        load();
        ASSERT_EQ(messages_.size(), 1U) << path.toStdString();
        EXPECT_EQ(messages_[0].first, "The practice settings file could not be read.");
        EXPECT_TRUE(questions_.empty()) << "asked about the music of a file it cannot read";
        // Everything as it was, the music still playing.
        expectThePracticeSetUp();
        EXPECT_TRUE(engine_.isPlaying());
        EXPECT_EQ(QString::fromStdString(engine_.musicFile()), music);
        EXPECT_TRUE(lockIsFreeForAnotherThread());
    }
}

TEST_F(PlayerPracticeSettingsTest, CancelledPanelsChangeNothing) {
    practiceSetUp(wav("piece.wav", 2.0));
    save();
    load();
    EXPECT_EQ(savePanels_, 1);
    EXPECT_EQ(openPanels_, 1);
    EXPECT_TRUE(questions_.empty());
    EXPECT_TRUE(messages_.empty());
    expectThePracticeSetUp();
}

TEST_F(PlayerTest, TheSettingsCommandRaisesItsOneWindowAndEscClosesIt) {
    GlobalSettings& settings = GlobalSettings::sharedSingleton();
    const std::int32_t previous = settings.spectrumType();
    settings.setSpectrumType(SpectrumTypeWaveForm);

    QAction* command = d().window()->findChild<QAction*>("menuItemSettings");
    command->trigger();
    command->trigger();
    const QList<SettingsController*> windows = d().window()->findChildren<SettingsController*>();
    ASSERT_EQ(windows.size(), 1);
    SettingsController* w = windows.first();
    EXPECT_EQ(d().settingsWindow(), w);
    EXPECT_TRUE(w->isVisible());
    EXPECT_TRUE(w->isWindow());
    EXPECT_TRUE(w->buttonWave()->isChecked());
    // A choice in it reaches the shared setting the view reads.
    w->buttonFFT()->click();
    EXPECT_EQ(settings.spectrumType(), SpectrumTypeFFT);

    // The offscreen platform does not hand activation to a second window on its own.
    QApplication::setActiveWindow(w);
    ASSERT_TRUE(QTest::qWaitForWindowActive(w));
    QTest::keyClick(w, Qt::Key_Escape);
    EXPECT_TRUE(waitFor([this] { return d().settingsWindow() == nullptr; }));
    // Once closed, the command makes a fresh one.
    command->trigger();
    ASSERT_NE(d().settingsWindow(), nullptr);
    EXPECT_TRUE(d().settingsWindow()->isVisible());
    d().settingsWindow()->close();
    settings.setSpectrumType(previous);
}

TEST_F(PlayerPracticeSettingsTest, TheToolsInUseAreKeptAndAFileWithoutThemStaysAsItWas) {
    const QString song = wav("song.wav", 20.0);
    d().open(song);
    ASSERT_TRUE(engine_.musicAvailable());
    saveAnswer_ = settingsPath("plain.sps");
    save();
    QFile plain(saveAnswer_);
    ASSERT_TRUE(plain.open(QIODevice::ReadOnly));
    const QByteArray plainXml = plain.readAll();
    for (const char* key :
         {"LOOP_", "TRAINER_", "COUNT_IN_", "TUNING_", "FOCUS_", "CHANNELS", "CENTRE_"}) {
        EXPECT_FALSE(plainXml.contains(key)) << key;
    }

    PracticeTools& tools = *d().practiceTools();
    tools.apply(LoopRange{3.25, 7.5, true}, TrainerPlan{-30.0F, 0.0F, 10.0F, 2, true},
                CountIn{1, 3, true});
    HearingTools& hearing = *d().hearingTools();
    hearing.tuningBox()->setValue(-18);
    hearing.focusBox()->setCurrentIndex(1);
    emit hearing.focusBox()->activated(1);  // Bass, as picked from the list
    hearing.centreCancelBox()->click();
    saveAnswer_ = settingsPath("tools.sps");
    save();

    // Other music in between, then the file with its music: the tools come back with it.
    d().open(wav("other.wav", 10.0));
    EXPECT_FALSE(tools.loop().isSet());
    openAnswer_ = saveAnswer_;
    answer_ = 1000;  // "Yes": open the file's music
    load();
    EXPECT_EQ(labelFilename()->toolTip(), song);
    EXPECT_EQ(tools.loop(), (LoopRange{3.25, 7.5, true}));
    EXPECT_TRUE(tools.trainer().on);
    EXPECT_EQ(tools.countIn(), (CountIn{1, 3, true}));
    EXPECT_EQ(tools.meterBox()->currentText(), "3/4");
    EXPECT_TRUE(tools.everyPassBox()->isChecked());
    EXPECT_FLOAT_EQ(engine_.tempo(), -30.0F);  // the trainer starts again from its start tempo
    EXPECT_FLOAT_EQ(engine_.tuning(), -18.0F);
    EXPECT_EQ(hearing.tuningBox()->value(), -18);
    EXPECT_EQ(engine_.hearing().focus.band, formats::FocusBand::Bass);
    EXPECT_TRUE(engine_.hearing().centreCancel);
    EXPECT_TRUE(hearing.centreCancelBox()->isChecked());

    // A file without the keys leaves the tools of the music it opens as a fresh open does.
    openAnswer_ = settingsPath("plain.sps");
    load();
    EXPECT_FALSE(tools.loop().isSet());
    EXPECT_FALSE(tools.trainer().on);
    EXPECT_FLOAT_EQ(engine_.tuning(), 0.0F);
    EXPECT_TRUE(engine_.hearing().neutral());
    EXPECT_EQ(hearing.focusBox()->currentIndex(), 0);
    EXPECT_FALSE(hearing.centreCancelBox()->isChecked());
}

TEST_F(PlayerPracticeSettingsTest, OpenRecentReopensMusicAndSettingsFilesAndGreysOutMissingOnes) {
    const QString music = wav("piece.wav", 6.0, 48000);
    practiceSetUp(music);
    saveAnswer_ = settingsPath("piece.sps");
    save();
    const QString gone = wav("gone & lost.wav", 1.0);
    d().open(gone);
    ASSERT_TRUE(QFile::remove(gone));

    auto* recent = d().window()->findChild<QMenu*>("menuOpenRecent");
    ASSERT_NE(recent, nullptr);
    auto shown = [recent] {
        emit recent->aboutToShow();
        return recent->actions();
    };
    QList<QAction*> items = shown();
    ASSERT_GE(items.size(), 5);
    EXPECT_EQ(items[0]->text(), "&1 gone && lost.wav");
    EXPECT_FALSE(items[0]->isEnabled());
    EXPECT_EQ(items[1]->text(), "&2 piece.sps");
    EXPECT_EQ(items[1]->toolTip(), settingsPath("piece.sps"));
    EXPECT_TRUE(items[1]->isEnabled());
    EXPECT_EQ(items[2]->toolTip(), music);
    EXPECT_TRUE(items.at(items.size() - 2)->isSeparator());
    EXPECT_EQ(items.back()->text(), "Clear Menu");

    // A settings file opens as the settings command opens the file its panel gave.
    changeEverything();
    items[1]->trigger();
    EXPECT_EQ(openPanels_, 0);
    ASSERT_EQ(questions_.size(), 1U);
    expectThePracticeSetUp();

    d().open(wav("other.wav", 1.0));
    items = shown();
    const auto entry = std::find_if(items.begin(), items.end(),
                                    [&music](QAction* a) { return a->toolTip() == music; });
    ASSERT_NE(entry, items.end());
    (*entry)->trigger();
    EXPECT_EQ(QString::fromStdString(engine_.musicFile()), music);
    EXPECT_EQ(shown().front()->toolTip(), music) << "a reopened file moves to the top";

    shown().back()->trigger();
    items = shown();
    ASSERT_EQ(items.size(), 2);
    EXPECT_FALSE(items.back()->isEnabled());
}
