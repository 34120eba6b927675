// The persisted spectrum type and sound quality, and the settings window that changes them.
#include <gtest/gtest.h>

#include <QButtonGroup>
#include <QCoreApplication>
#include <QFile>
#include <QPainter>
#include <QPointer>
#include <QRadioButton>
#include <QSettings>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "VisualTestSupport.h"
#include "support/TempHome.h"
#include "visualisation/GlobalSettings.h"
#include "visualisation/SettingsController.h"
#include "visualisation/SpectrumView.h"

using visualtest::ConsoleCapture;

namespace {

class SettingsTest : public ::testing::Test {
  protected:
    QString file() const { return QString::fromStdString(dir_.file("settings.ini")); }

    // What another process would read from the file right now.
    QVariant storedValue() const {
        QSettings store(file(), QSettings::IniFormat);
        return store.value(settingskeys::kSpectrumType);
    }
    void store(const QVariant& value) const {
        QSettings store(file(), QSettings::IniFormat);
        store.setValue(settingskeys::kSpectrumType, value);
    }

    int checkedRowOfNewWindow(GlobalSettings& settings) {
        SettingsController window(nullptr, &settings);
        return window.maxtrixVisualization()->checkedId();
    }

    testsupport::TempDir dir_;
};

}  // namespace

TEST_F(SettingsTest, AbsentValueReadsAsNone) {
    GlobalSettings settings(file());
    EXPECT_EQ(settings.spectrumType(), SpectrumTypeNone);
    EXPECT_FALSE(storedValue().isValid()) << "reading must not write";
}

TEST_F(SettingsTest, ChoicePersistsAcrossInstances) {
    {
        GlobalSettings first(file());
        first.setSpectrumType(SpectrumTypeWaveForm);
        EXPECT_EQ(first.spectrumType(), SpectrumTypeWaveForm);
        EXPECT_EQ(storedValue().toInt(), 2) << "written at once, not at exit";
    }
    GlobalSettings second(file());
    EXPECT_EQ(second.spectrumType(), SpectrumTypeWaveForm);
    second.setSpectrumType(SpectrumTypeFFT);
    GlobalSettings third(file());
    EXPECT_EQ(third.spectrumType(), SpectrumTypeFFT);
}

TEST_F(SettingsTest, StoreIsReadOnlyOnce) {
    store(1);
    GlobalSettings settings(file());
    EXPECT_EQ(settings.spectrumType(), 1);
    store(2);  // changed behind its back
    EXPECT_EQ(settings.spectrumType(), 1);
}

TEST_F(SettingsTest, UnknownAndMalformedStoredValues) {
    store(7);
    EXPECT_EQ(GlobalSettings(file()).spectrumType(), 7) << "kept unchanged, not validated";
    store(QStringLiteral("waveform"));
    EXPECT_EQ(GlobalSettings(file()).spectrumType(), 0);
    store(QStringLiteral("99999999999"));
    EXPECT_EQ(GlobalSettings(file()).spectrumType(), 0) << "out of 32-bit range";
    store(-3);
    EXPECT_EQ(GlobalSettings(file()).spectrumType(), -3);
}

TEST_F(SettingsTest, UnwritableStoreKeepsTheChoiceForThisRunAndSaysSo) {
    // A regular file where the settings folder should be: nobody, root included, can write there.
    const std::string blocker = dir_.file("blocker");
    std::ofstream(blocker) << "x";
    const QString path = QString::fromStdString(blocker + "/settings.ini");

    ConsoleCapture console;
    GlobalSettings settings(path);
    settings.setSpectrumType(SpectrumTypeFFT);
    EXPECT_EQ(settings.spectrumType(), SpectrumTypeFFT);
    EXPECT_TRUE(console.has("GlobalSettings: cannot write SPECTRUM_TYPE"));
    EXPECT_EQ(GlobalSettings(path).spectrumType(), SpectrumTypeNone);
}

TEST_F(SettingsTest, SharedInstanceUsesTheUsersTonveraSettings) {
    // main() points XDG_CONFIG_HOME at a temporary folder for the whole run.
    GlobalSettings& shared = GlobalSettings::sharedSingleton();
    EXPECT_EQ(&shared, &GlobalSettings::sharedSingleton());
    const std::int32_t before = shared.spectrumType();
    shared.setSpectrumType(SpectrumTypeWaveForm);
    QSettings user(QStringLiteral("Tonvera"), QStringLiteral("Tonvera"));
    EXPECT_EQ(user.value("SPECTRUM_TYPE").toInt(), 2);
    EXPECT_TRUE(user.fileName().startsWith(QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME"))))
        << user.fileName().toStdString();
    shared.setSpectrumType(before);
}

TEST_F(SettingsTest, WindowSelectsTheRowOfTheStoredType) {
    struct Case {
        int stored;
        int row;
    };
    for (const Case c : {Case{1, 0}, Case{2, 1}, Case{0, 2}, Case{7, 1}}) {
        store(c.stored);
        GlobalSettings settings(file());
        EXPECT_EQ(checkedRowOfNewWindow(settings), c.row) << "stored " << c.stored;
    }
    // Nothing stored at all: a first start shows "none".
    QFile::remove(file());
    GlobalSettings fresh(file());
    EXPECT_EQ(checkedRowOfNewWindow(fresh), 2);
}

TEST_F(SettingsTest, RowsAreSpectrumWaveformNoneTopToBottom) {
    GlobalSettings settings(file());
    SettingsController window(nullptr, &settings);
    window.show();
    QButtonGroup* group = window.maxtrixVisualization();
    EXPECT_EQ(group->button(0), window.buttonFFT());
    EXPECT_EQ(group->button(1), window.buttonWave());
    EXPECT_EQ(group->button(2), window.buttonNone());
    EXPECT_TRUE(group->exclusive());
    EXPECT_LT(window.buttonFFT()->y(), window.buttonWave()->y());
    EXPECT_LT(window.buttonWave()->y(), window.buttonNone()->y());
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Settings"));
}

TEST_F(SettingsTest, ClicksStoreTheTypeLogAndShowInTheNextWindow) {
    GlobalSettings settings(file());
    SettingsController window(nullptr, &settings);
    window.show();

    struct Click {
        QRadioButton* button;
        const char* line;
        int type;
        int row;
    };
    const Click clicks[] = {{window.buttonFFT(), "clicked fft", 1, 0},
                            {window.buttonWave(), "clicked waveform", 2, 1},
                            {window.buttonNone(), "clicked none", 0, 2},
                            {window.buttonFFT(), "clicked fft", 1, 0}};
    for (const Click& click : clicks) {
        ConsoleCapture console;
        // On the indicator: a radio button reacts to its indicator and label only.
        QTest::mouseClick(click.button, Qt::LeftButton, Qt::NoModifier,
                          QPoint(6, click.button->height() / 2));
        EXPECT_TRUE(console.has(click.line)) << click.line;
        EXPECT_TRUE(click.button->isChecked()) << click.line;
        EXPECT_EQ(settings.spectrumType(), click.type) << click.line;
        EXPECT_EQ(storedValue().toInt(), click.type) << click.line;
        // A restart: fresh settings over the same store, a fresh window.
        GlobalSettings restarted(file());
        EXPECT_EQ(checkedRowOfNewWindow(restarted), click.row) << click.line;
    }
}

// The sound quality is a choice of its own: Best when nothing is stored, stored under its key by
// a click, shown by the next window, and independent of the visualisation rows.
TEST_F(SettingsTest, SoundQualityIsStoredAndShownBesideTheVisualisation) {
    GlobalSettings settings(file());
    EXPECT_EQ(settings.soundQuality(), 0);
    {
        SettingsController window(nullptr, &settings);
        window.show();
        EXPECT_TRUE(window.buttonQualityBest()->isChecked());
        EXPECT_EQ(window.buttonQualityLight()->text(), QStringLiteral("Light (uses less CPU)"));
        QTest::mouseClick(window.buttonFFT(), Qt::LeftButton, Qt::NoModifier,
                          QPoint(6, window.buttonFFT()->height() / 2));
        ConsoleCapture console;
        QTest::mouseClick(window.buttonQualityLight(), Qt::LeftButton, Qt::NoModifier,
                          QPoint(6, window.buttonQualityLight()->height() / 2));
        EXPECT_TRUE(console.has("clicked sound quality light"));
        EXPECT_FALSE(window.buttonQualityBest()->isChecked());
        EXPECT_TRUE(window.buttonFFT()->isChecked());
    }
    QSettings store(file(), QSettings::IniFormat);
    EXPECT_EQ(store.value(settingskeys::kSoundQuality).toInt(), 1);
    GlobalSettings restarted(file());
    SettingsController window(nullptr, &restarted);
    EXPECT_TRUE(window.buttonQualityLight()->isChecked());
    EXPECT_EQ(window.maxtrixVisualization()->checkedId(), SettingsController::RowFFT);
}

TEST_F(SettingsTest, ClickShowsInTheViewsNextDraw) {
    GlobalSettings settings(file());
    SpectrumView view;
    view.resize(500, 130);
    view.setSettings(&settings);
    view.setSpecData(std::vector<int>(50, 60));
    auto draw = [&view] {
        QImage image = visualtest::blankImage(500, 130);
        QPainter painter(&image);
        view.renderTo(painter, view.size());
        return image;
    };
    EXPECT_TRUE(visualtest::allBlack(draw()));

    SettingsController window(nullptr, &settings);
    window.buttonFFT()->click();
    EXPECT_EQ(visualtest::columnHeight(draw(), 1), 60);
    window.buttonNone()->click();
    EXPECT_TRUE(visualtest::allBlack(draw()));
}

TEST_F(SettingsTest, EachOpeningIsANewWindowThatDeletesItselfOnClose) {
    GlobalSettings settings(file());
    QWidget owner;
    QPointer<SettingsController> first = SettingsController::showNew(&owner, &settings);
    QPointer<SettingsController> second = SettingsController::showNew(&owner, &settings);
    ASSERT_TRUE(first);
    ASSERT_TRUE(second);
    EXPECT_NE(first.data(), second.data());
    EXPECT_TRUE(first->isVisible());
    EXPECT_TRUE(first->isWindow());

    first->buttonWave()->click();
    EXPECT_TRUE(second->buttonNone()->isChecked()) << "an open window is not updated";

    EXPECT_TRUE(first->close());
    ASSERT_TRUE(visualtest::pumpUntil([&first] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return first.isNull();
    }));
    EXPECT_FALSE(second.isNull());

    QPointer<SettingsController> parentless = SettingsController::showNew(nullptr, &settings);
    EXPECT_TRUE(parentless->buttonWave()->isChecked());
    parentless->close();
    ASSERT_TRUE(visualtest::pumpUntil([&parentless] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return parentless.isNull();
    }));
}
