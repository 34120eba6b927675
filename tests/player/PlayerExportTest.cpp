// The export command as a user meets it: the panel, the pause, the sheet and its end.
#include <QAction>
#include <QProgressBar>
#include <filesystem>
#include <fstream>

#include "PlayerFixture.h"
#include "export/ExportWindow.h"
#include "player/practice/PracticeTools.h"
#include "ui/ValueSlider.h"

namespace {

class PlayerExportTest : public PlayerTest {
  protected:
    void SetUp() override {
        PlayerTest::SetUp();
        d().setSaveChooser([this](QWidget*, const QString& title, const QString& proposed,
                                  const QStringList& filters) {
            ++saveCalls_;
            saveTitle_ = title;
            proposed_ = proposed;
            saveFilters_ = filters;
            return TonveraAppDelegate::SaveChoice(saveAnswer_, saveFilter_);
        });
        d().showMainApplicationWindow();
    }

    // Runs the command and waits for its sheet to end.
    void exportTo(const QString& path) {
        saveAnswer_ = path;
        menuItemExportAsWAV()->trigger();
        if (d().exportController() && d().exportController()->running()) {
            EXPECT_FALSE(menuItemExportAsWAV()->isEnabled());
            ASSERT_TRUE(waitFor([this] { return d().exportController() == nullptr; }, 30000));
        }
    }

    QString saveAnswer_;
    QString saveFilter_;  // the name filter the panel answers with; empty: the first
    int saveCalls_ = 0;
    QString saveTitle_;
    QString proposed_;
    QStringList saveFilters_;
};

TEST_F(PlayerExportTest, WithoutMusicTheOpenPanelComesInstead) {
    exportTo(QString::fromStdString(dir_.file("x.wav")));
    EXPECT_EQ(chooserCalls_, 1);
    EXPECT_EQ(saveCalls_, 0);
}

TEST_F(PlayerExportTest, PlayingMusicPausesAndAnUpperCaseM4aGetsAppleLossless) {
    d().open(wav("song.wav", 3.0));
    d().clickedPlayButton();
    ASSERT_TRUE(engine_.isPlaying());
    const std::string out = dir_.file("Song.M4A");
    exportTo(QString::fromStdString(out));
    EXPECT_EQ(saveTitle_, "Export");
    EXPECT_TRUE(proposed_.endsWith("/export.wav")) << proposed_.toStdString();
    ASSERT_GE(saveFilters_.size(), 3);
    EXPECT_TRUE(saveFilters_[0].contains("*.wav") && saveFilters_[1].contains("*.mp4") &&
                saveFilters_[2].contains("*.m4a"));
    EXPECT_FALSE(engine_.isPlaying());
    EXPECT_TRUE(menuItemExportAsWAV()->isEnabled());
    EXPECT_TRUE(told_.isEmpty()) << told_.join('\n').toStdString();
    std::vector<float> decoded;
    int channels = 0;
    ASSERT_TRUE(testsupport::decodeFile(out, &decoded, nullptr, &channels));
    EXPECT_EQ(channels, 2);
    EXPECT_NEAR(decoded.size() / 2.0, 3.0 * 44100, 2.0);
    // ALAC, whatever the letter case of the name.
    EXPECT_NE(testsupport::readFile(out).find("alac"), std::string::npos);
}

TEST_F(PlayerExportTest, ExportLoopIsOnWithALoopAndWritesThatSpanAtTheTempo) {
    d().open(wav("song.wav", 6.0));
    PracticeTools& tools = *d().practiceTools();
    QAction* exportLoop = menuItemExportLoop();
    ASSERT_NE(exportLoop, nullptr);
    EXPECT_FALSE(exportLoop->isEnabled());
    tools.apply(LoopRange{1.25, 3.75, false}, TrainerPlan{}, CountIn{});
    EXPECT_TRUE(exportLoop->isEnabled());  // set, even while it does not play
    sliderTempo()->setValue(2500);         // +25 %
    const std::string out = dir_.file("loop.wav");
    saveAnswer_ = QString::fromStdString(out);
    exportLoop->trigger();
    ASSERT_TRUE(waitFor([this] { return d().exportController() == nullptr; }, 30000));
    EXPECT_EQ(saveTitle_, "Export Loop");
    EXPECT_TRUE(proposed_.endsWith("/loop.wav")) << proposed_.toStdString();
    EXPECT_TRUE(told_.isEmpty()) << told_.join('\n').toStdString();
    std::vector<float> decoded;
    ASSERT_TRUE(testsupport::decodeFile(out, &decoded));
    EXPECT_NEAR(decoded.size() / 2.0, 2.5 * 44100 / 1.25, 1.0);
}

// The panel's first types keep the recording's level (a 0.5 sine stays near 0.5); a type "as heard
// at full volume", offered in the same panel, doubles it to full scale.
TEST_F(PlayerExportTest, TheHeardTypesExportAtTheLevelHeard) {
    d().open(wav("song.wav", 1.0));
    const std::string original = dir_.file("original.wav");
    exportTo(QString::fromStdString(original));
    const QStringList heardTypes = TonveraAppDelegate::exportHeardFilters();
    ASSERT_FALSE(heardTypes.isEmpty());
    for (const QString& type : heardTypes)
        EXPECT_TRUE(saveFilters_.contains(type)) << type.toStdString();
    saveFilter_ = heardTypes.front();
    const std::string heard = dir_.file("heard.wav");
    exportTo(QString::fromStdString(heard));
    EXPECT_TRUE(told_.isEmpty()) << told_.join('\n').toStdString();
    std::vector<float> decoded;
    ASSERT_TRUE(testsupport::decodeFile(original, &decoded));
    // Within the stretcher's own ripple (under 1 dB), and far from doubled.
    EXPECT_NEAR(testsupport::peak(decoded), 0.5, 0.06);
    ASSERT_TRUE(testsupport::decodeFile(heard, &decoded));
    EXPECT_GT(testsupport::peak(decoded), 0.9);
}

TEST_F(PlayerExportTest, AFailedExportSaysSoAndLeavesNoFile) {
    d().open(wav("song.wav", 1.0));
    exportTo(QString::fromStdString(dir_.file("gone/out.wav")));
    ASSERT_EQ(told_.size(), 1);
    EXPECT_TRUE(told_[0].startsWith("The export failed.")) << told_[0].toStdString();
    EXPECT_FALSE(std::filesystem::exists(dir_.file("gone")));
    EXPECT_TRUE(menuItemExportAsWAV()->isEnabled());
    // The music file itself is refused before anything starts.
    exportTo(QString::fromStdString(dir_.file("song.wav")));
    EXPECT_EQ(told_.size(), 2);
    EXPECT_FALSE(d().exportController() && d().exportController()->running());
}

// Escape on the sheet stops the export: the sheet ends without a message, nothing of the export
// is left and the file that was at the chosen name stays as it was.
TEST_F(PlayerExportTest, EscapeOnTheSheetCancelsAndKeepsTheOldFile) {
    // Long enough that the render is still running when the key comes.
    d().open(wav("song.wav", 30.0));
    const std::string out = dir_.file("take.wav");
    std::ofstream(out) << "the previous take";
    saveAnswer_ = QString::fromStdString(out);
    menuItemExportAsWAV()->trigger();
    ExportWindow* sheet = d().exportController();
    ASSERT_NE(sheet, nullptr);
    ASSERT_TRUE(sheet->running());
    QTest::keyClick(sheet, Qt::Key_Escape);
    ASSERT_TRUE(waitFor([this] { return d().exportController() == nullptr; }, 30000));
    EXPECT_TRUE(told_.isEmpty()) << told_.join('\n').toStdString();
    EXPECT_EQ(testsupport::readFile(out), "the previous take");
    for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
        const std::string name = entry.path().filename().string();
        EXPECT_TRUE(name == "take.wav" || name.find("take") == std::string::npos) << name;
    }
    EXPECT_NE(testsupport::readFile(dir_.file("log.txt")).find("SoundExporter: export cancelled"),
              std::string::npos);
    EXPECT_TRUE(menuItemExportAsWAV()->isEnabled());
}

}  // namespace
