// The save and open commands against a fake controller: what is asked, in which order the
// controls, the engine and the metronome get their values, and what happens when files are
// missing, broken or cannot be written.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <memory>
#include <string>
#include <vector>

#include "FakeControls.h"
#include "formats/PracticeSettingsFile.h"
#include "player/settingsfile/PracticeSettingsCommands.h"
#include "support/TempHome.h"

using Slider = PracticeControls::Slider;
using ValueField = PracticeControls::ValueField;

namespace {

class PracticeCommandsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dialogs_.chooseFileToSave = [this](const FilePanel& panel) {
            savePanels_.push_back(panel);
            return saveAnswer_;
        };
        dialogs_.chooseFileToOpen = [this](const FilePanel& panel) {
            openPanels_.push_back(panel);
            return openAnswer_;
        };
        dialogs_.askYesNo = [this](const QString& message, const QString& informative) {
            questions_.push_back({message, informative});
            lockDuringQuestion_ = controls_.lockDepth;
            return answer_;
        };
        dialogs_.inform = [this](const QString& message, const QString& informative) {
            messages_.push_back({message, informative});
        };
        commands_ = std::make_unique<PracticeSettingsCommands>(controls_, dialogs_);
    }

    // A window with music open and a set-up worth saving.
    void practiceSetUp() {
        controls_.openMusicFile = QStringLiteral("/music/Étude.wav");
        controls_.setSliderDirect(Slider::Volume, 80.0F);
        controls_.setSliderDirect(Slider::Tempo, 12.34F);
        controls_.setSliderDirect(Slider::Rate, 47000.0F);
        controls_.setSliderDirect(Slider::Pitch, -2.5F);
        controls_.setSliderDirect(Slider::MetronomVolume, 66.0F);
        controls_.bpmField = QStringLiteral("132");
        controls_.boxTicked = true;
    }

    // Everything else, so a load has something to restore.
    void changeEverything() {
        controls_.setSliderDirect(Slider::Volume, 10.0F);
        controls_.setSliderDirect(Slider::Tempo, -30.0F);
        controls_.setSliderDirect(Slider::Rate, 40000.0F);
        controls_.setSliderDirect(Slider::Pitch, 5.0F);
        controls_.setSliderDirect(Slider::MetronomVolume, 5.0F);
        controls_.bpmField = QStringLiteral("60");
        controls_.boxTicked = false;
        controls_.numberBPM = QVariant(60);
        controls_.calls.clear();
    }

    QString writeSettings(const std::string& name, const QByteArray& xml) {
        const QString path = QString::fromStdString(dir_.file(name));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(xml);
        return path;
    }

    std::string openCapturingConsole() {
        ::testing::internal::CaptureStderr();
        commands_->menuOpenSettingsFile();
        return ::testing::internal::GetCapturedStderr();
    }

    struct Texts {
        QString message, informative;
    };

    testsupport::TempDir dir_;
    FakeControls controls_;
    PracticeSettingsDialogs dialogs_;
    std::unique_ptr<PracticeSettingsCommands> commands_;
    QString saveAnswer_, openAnswer_;
    qint64 answer_ = 1001;
    int lockDuringQuestion_ = -1;
    std::vector<FilePanel> savePanels_, openPanels_;
    std::vector<Texts> questions_, messages_;
};

// The order of the lines in `text`, each looked for after the previous one.
bool inOrder(const std::string& text, const std::vector<std::string>& lines) {
    std::size_t at = 0;
    for (const auto& line : lines) {
        at = text.find(line + "\n", at);
        if (at == std::string::npos)
            return false;
        at += line.size();
    }
    return true;
}

}  // namespace

TEST_F(PracticeCommandsTest, SaveThenOpenWithNoRestoresEveryControlAndTheEngine) {
    practiceSetUp();
    controls_.numberBPM = QVariant(90);  // the metronome runs at another rate than the field's
    saveAnswer_ = QString::fromStdString(dir_.file("piece"));
    ::testing::internal::CaptureStderr();
    commands_->menuSaveSettingsFile();
    const std::string saving = ::testing::internal::GetCapturedStderr();

    ASSERT_EQ(savePanels_.size(), 1U);
    EXPECT_EQ(savePanels_[0].title, QString());
    EXPECT_EQ(savePanels_[0].proposedName, QStringLiteral("mysettings.sps"));
    EXPECT_EQ(savePanels_[0].extension, QStringLiteral("sps"));
    const QString saved = saveAnswer_ + QStringLiteral(".sps");
    ASSERT_TRUE(QFile::exists(saved));
    EXPECT_TRUE(messages_.empty());
    EXPECT_TRUE(inOrder(saving, {"menuSaveSettingsFile: /music/Étude.wav", "writing settings file",
                                 "saved settings file to : " + saved.toStdString()}))
        << saving;
    // The saved beat rate is the field's, and it became the metronome's on the way.
    EXPECT_EQ(controls_.numberBPM, QVariant(132));

    changeEverything();
    openAnswer_ = saved;
    answer_ = 1001;  // "No": keep the open music
    const std::string opening = openCapturingConsole();

    ASSERT_EQ(openPanels_.size(), 1U);
    EXPECT_EQ(openPanels_[0].title, QStringLiteral("open settings file"));
    EXPECT_EQ(openPanels_[0].extension, QStringLiteral("sps"));
    ASSERT_EQ(questions_.size(), 1U);
    EXPECT_EQ(questions_[0].message,
              QStringLiteral("Do you want to load the music file from the settings too?"));
    EXPECT_EQ(questions_[0].informative, QStringLiteral("settings music file: /music/Étude.wav"));
    EXPECT_EQ(lockDuringQuestion_, 1);

    EXPECT_EQ(controls_.openMusicFile, QStringLiteral("/music/Étude.wav"));
    for (const auto& call : controls_.calls)
        EXPECT_NE(call.rfind("open ", 0), 0U) << call;
    EXPECT_EQ(controls_.sliderValue(Slider::Volume), 80.0F);
    EXPECT_EQ(controls_.sliderValue(Slider::Tempo), 12.34F);
    EXPECT_EQ(controls_.sliderValue(Slider::Rate), 47000.0F);
    EXPECT_EQ(controls_.sliderValue(Slider::Pitch), -2.5F);
    EXPECT_EQ(controls_.sliderValue(Slider::MetronomVolume), 66.0F);
    EXPECT_EQ(controls_.engineVolume, 80.0F);
    EXPECT_EQ(controls_.engineTempo, 12.34F);
    EXPECT_EQ(controls_.engineSamplerate, 47000.0F);
    EXPECT_EQ(controls_.enginePitch, -2.5F);
    EXPECT_EQ(controls_.fields[ValueField::Tempo], QStringLiteral("12,35"));
    EXPECT_EQ(controls_.fields[ValueField::Rate], QStringLiteral("47000,00"));
    EXPECT_EQ(controls_.fields[ValueField::Pitch], QStringLiteral("-2,50"));
    EXPECT_EQ(controls_.bpmField, QStringLiteral("132"));
    EXPECT_EQ(controls_.numberBPM.toLongLong(), 132);
    EXPECT_TRUE(controls_.boxTicked);
    EXPECT_EQ(controls_.metronomVolume, 66.0F);
    EXPECT_EQ(controls_.lockDepth, 0);
    EXPECT_EQ(controls_.maxLockDepth, 2);  // the apply takes the open's lock once more

    EXPECT_TRUE(inOrder(
        opening, {"checking sound engine", "loading settings file", "loading settings file: labels",
                  "loading settings file: soundengine", "loading settings file: mentronom",
                  "loading settings file: freeing space"}))
        << opening;
}

TEST_F(PracticeCommandsTest, YesReopensTheStoredMusicAndAppliesInOrder) {
    practiceSetUp();
    saveAnswer_ = QString::fromStdString(dir_.file("a.sps"));
    commands_->menuSaveSettingsFile();
    changeEverything();
    openAnswer_ = saveAnswer_;
    answer_ = 1000;
    openCapturingConsole();

    const std::vector<std::string> expected = {
        "open /music/Étude.wav",      "slider volume 80",    "slider tempo 12.34",
        "slider rate 47000",          "slider pitch -2.5",   "field tempo 12,35",
        "field rate 47000,00",        "field pitch -2,50",   "engine volume 80",
        "engine pitch -2.5",          "engine tempo 12.34",  "engine rate 47000",
        "metronome bpm 132",          "bpm field 132",       "check box on",
        "slider metronome volume 66", "metronome volume 66",
    };
    EXPECT_EQ(controls_.calls, expected);
}

TEST_F(PracticeCommandsTest, WithoutOpenMusicTheStoredMusicLoadsWithoutAsking) {
    openAnswer_ = writeSettings("s.sps", PracticeSettingsFile::toXml(PracticeSettings{
                                             .musicFile = QStringLiteral("/music/b.wav"),
                                             .musicVolume = 70,
                                             .musicTempo = 5,
                                             .musicSamplerate = 44100,
                                             .musicPitch = 1,
                                             .metronomBpm = QVariant(100),
                                             .metronomAutostart = 0,
                                             .metronomVolume = 50}));
    commands_->menuOpenSettingsFile();
    EXPECT_TRUE(questions_.empty());
    ASSERT_FALSE(controls_.calls.empty());
    EXPECT_EQ(controls_.calls.front(), "open /music/b.wav");
    EXPECT_EQ(controls_.openMusicFile, QStringLiteral("/music/b.wav"));
    EXPECT_EQ(controls_.engineTempo, 5.0F);
}

TEST_F(PracticeCommandsTest, ValuesOutsideTheControlsRangesArriveAsTheControlsHoldThem) {
    practiceSetUp();
    openAnswer_ = writeSettings("s.sps", PracticeSettingsFile::toXml(PracticeSettings{
                                             .musicFile = QStringLiteral("/music/Étude.wav"),
                                             .musicVolume = 150,
                                             .musicTempo = 300,
                                             .musicSamplerate = 20000,
                                             .musicPitch = -40,
                                             .metronomBpm = QVariant(100),
                                             .metronomAutostart = 0,
                                             .metronomVolume = -5}));
    answer_ = 1001;
    commands_->menuOpenSettingsFile();
    EXPECT_EQ(controls_.engineSamplerate, 30870.0F);  // the rate slider's lower end
    EXPECT_EQ(controls_.fields[ValueField::Rate], QStringLiteral("30870,00"));
    EXPECT_EQ(controls_.engineVolume, 100.0F);
    EXPECT_EQ(controls_.engineTempo, 100.0F);
    EXPECT_EQ(controls_.enginePitch, -12.0F);
    EXPECT_EQ(controls_.metronomVolume, 0.0F);
}

TEST_F(PracticeCommandsTest, AFileWithOnlyTheMusicSetsEverythingToZeroOrTheLowestValue) {
    openAnswer_ =
        writeSettings("only.sps",
                      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><dict>"
                      "<key>MUSIC_FILE</key><string>/music/c.wav</string></dict></plist>");
    controls_.boxTicked = true;
    commands_->menuOpenSettingsFile();
    EXPECT_EQ(controls_.openMusicFile, QStringLiteral("/music/c.wav"));
    EXPECT_EQ(controls_.engineVolume, 0.0F);
    EXPECT_EQ(controls_.engineTempo, 0.0F);
    EXPECT_EQ(controls_.engineSamplerate, 30870.0F);  // the rate slider's lowest value
    EXPECT_EQ(controls_.enginePitch, 0.0F);
    EXPECT_EQ(controls_.metronomVolume, 0.0F);
    EXPECT_FALSE(controls_.numberBPM.isValid());
    EXPECT_EQ(controls_.bpmField, QStringLiteral("0"));
    EXPECT_FALSE(controls_.boxTicked);
}

TEST_F(PracticeCommandsTest, ARealBeatRateShowsItsWholeNumberPart) {
    practiceSetUp();
    openAnswer_ =
        writeSettings("real.sps",
                      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><dict>"
                      "<key>METRONOM_BPM</key><real>100.7</real></dict></plist>");
    commands_->menuOpenSettingsFile();
    EXPECT_EQ(controls_.numberBPM.typeId(), QMetaType::Double);
    EXPECT_EQ(controls_.numberBPM.toDouble(), 100.7);
    EXPECT_EQ(controls_.bpmField, QStringLiteral("100"));
}

TEST_F(PracticeCommandsTest, AFileThatCannotBeReadChangesNothingAndIsReported) {
    practiceSetUp();
    const std::vector<QString> broken = {
        writeSettings("garbage.sps", QByteArray("\x00\x01\x02 not a plist \xff", 18)),
        writeSettings("list.sps",
                      "<?xml version=\"1.0\"?><plist version=\"1.0\"><array>"
                      "<real>1</real></array></plist>"),
        QString::fromStdString(dir_.file("gone.sps")),
    };
    for (const QString& path : broken) {
        controls_.calls.clear();
        messages_.clear();
        openAnswer_ = path;
        const std::string out = openCapturingConsole();
        EXPECT_TRUE(controls_.calls.empty()) << path.toStdString();
        EXPECT_TRUE(questions_.empty());
        EXPECT_EQ(controls_.openMusicFile, QStringLiteral("/music/Étude.wav"));
        EXPECT_EQ(controls_.sliderValue(Slider::Tempo), 12.34F);
        ASSERT_EQ(messages_.size(), 1U) << path.toStdString();
        EXPECT_EQ(messages_[0].message,
                  QStringLiteral("The practice settings file could not be read."));
        EXPECT_TRUE(messages_[0].informative.contains(path));
        EXPECT_EQ(out.find("loading settings file"), std::string::npos);
        EXPECT_EQ(controls_.lockDepth, 0);
    }
}

TEST_F(PracticeCommandsTest, AStoredMusicFileThatIsGoneStillAppliesTheRest) {
    practiceSetUp();
    openAnswer_ = writeSettings("s.sps", PracticeSettingsFile::toXml(PracticeSettings{
                                             .musicFile = QStringLiteral("/music/missing.wav"),
                                             .musicVolume = 60,
                                             .musicTempo = 7,
                                             .musicSamplerate = 44100,
                                             .musicPitch = 2,
                                             .metronomBpm = QVariant(90),
                                             .metronomAutostart = 1,
                                             .metronomVolume = 40}));
    answer_ = 1000;
    commands_->menuOpenSettingsFile();
    EXPECT_EQ(controls_.calls.front(), "open /music/missing.wav");
    EXPECT_TRUE(controls_.openMusicFile.isEmpty());
    EXPECT_EQ(controls_.engineTempo, 7.0F);
    EXPECT_EQ(controls_.bpmField, QStringLiteral("90"));
}

TEST_F(PracticeCommandsTest, CancelledPanelsDoNothing) {
    practiceSetUp();
    commands_->menuSaveSettingsFile();
    commands_->menuOpenSettingsFile();
    EXPECT_EQ(savePanels_.size(), 1U);
    EXPECT_EQ(openPanels_.size(), 1U);
    EXPECT_TRUE(controls_.calls.empty());
    EXPECT_TRUE(messages_.empty());
    EXPECT_TRUE(QDir(QString::fromStdString(dir_.path())).isEmpty());
}

TEST_F(PracticeCommandsTest, SavingWithoutMusicTellsWhyAndWritesNothing) {
    saveAnswer_ = QString::fromStdString(dir_.file("x.sps"));
    commands_->menuSaveSettingsFile();
    EXPECT_TRUE(savePanels_.empty());
    ASSERT_EQ(messages_.size(), 1U);
    EXPECT_EQ(messages_[0].message,
              QStringLiteral("There is no music to save practice settings for."));
    EXPECT_FALSE(QFile::exists(saveAnswer_));
}

TEST_F(PracticeCommandsTest, AFailedSaveIsReportedAndNotLoggedAsSaved) {
    practiceSetUp();
    saveAnswer_ = QString::fromStdString(dir_.file("missing folder/x.sps"));
    ::testing::internal::CaptureStderr();
    commands_->menuSaveSettingsFile();
    const std::string out = ::testing::internal::GetCapturedStderr();
    ASSERT_EQ(messages_.size(), 1U);
    EXPECT_EQ(messages_[0].message, QStringLiteral("The practice settings could not be saved."));
    EXPECT_TRUE(messages_[0].informative.contains(saveAnswer_));
    EXPECT_EQ(out.find("saved settings file to"), std::string::npos) << out;
    EXPECT_NE(out.find("failed"), std::string::npos) << out;
}

TEST(PracticeSettingsExtension, IsAddedUnlessPresent) {
    EXPECT_EQ(PracticeSettingsCommands::withSettingsExtension(QStringLiteral("/a/b")),
              QStringLiteral("/a/b.sps"));
    EXPECT_EQ(PracticeSettingsCommands::withSettingsExtension(QStringLiteral("/a/b.sps")),
              QStringLiteral("/a/b.sps"));
    EXPECT_EQ(PracticeSettingsCommands::withSettingsExtension(QStringLiteral("/a/b.SPS")),
              QStringLiteral("/a/b.SPS"));
    EXPECT_EQ(PracticeSettingsCommands::withSettingsExtension(QStringLiteral("/a/b.txt")),
              QStringLiteral("/a/b.txt.sps"));
}
