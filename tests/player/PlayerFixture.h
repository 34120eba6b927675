// The real player window over a real engine (SDL's dummy output), with the file chooser and the
// program's termination replaced so no dialog opens and no test ends the process.
#ifndef TONVERA_TESTS_PLAYER_PLAYERFIXTURE_H
#define TONVERA_TESTS_PLAYER_PLAYERFIXTURE_H

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include "engine/SoundEngine.h"
#include "logging/Logger.h"
#include "player/TonveraAppDelegate.h"
#include "support/AudioFixtures.h"
#include "support/TempHome.h"
#include "ui/ValueSlider.h"
#include "visualisation/SpectrumView.h"

class PlayerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(Logger::sharedSingleton().open(dir_.file("log.txt")));
        delegate_ = std::make_unique<TonveraAppDelegate>(&engine_);
        delegate_->setFileChooser([this](QWidget*, const QStringList& types) {
            ++chooserCalls_;
            offeredTypes_ = types;
            return chooserAnswer_;
        });
        delegate_->setTerminator([this] { ++terminations_; });
        delegate_->setMessageShower([this](QWidget*, const QString& text) { told_ << text; });
        delegate_->applicationDidFinishLaunching();
        QCoreApplication::processEvents();
    }

    void TearDown() override {
        delegate_.reset();
        engine_.reset();
        engine_.close();
        Logger::sharedSingleton().close();
    }

    // A stereo sine file in the test's folder; the extension picks the format.
    QString wav(const std::string& name, double seconds, int rate = 44100) {
        const std::string path = dir_.file(name);
        std::string error;
        EXPECT_TRUE(testsupport::writeAudioFile(path, testsupport::sine(440.0, seconds, rate, 2),
                                                rate, 2, &error))
            << path << ": " << error;
        return QString::fromStdString(path);
    }

    // A file holding exactly these bytes: music in name only.
    std::string junkFile(const std::string& name, const std::string& bytes) {
        const std::string path = dir_.file(name);
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    // Runs the event loop until the condition holds; false after the timeout.
    static bool waitFor(const std::function<bool()>& condition, int timeoutMs = 5000) {
        return QTest::qWaitFor(condition, timeoutMs);
    }

    TonveraAppDelegate& d() { return *delegate_; }

    // The window's controls, found as the user's window holds them: by their names in
    // resources/MainWindow.ui (and Export Loop…, which the window adds to the File menu).
    template <class Control>
    Control* control(const char* name) {
        auto* found = d().window()->findChild<Control*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << "no " << name << " of that type in the window";
        return found;
    }
    QPushButton* playButton() { return control<QPushButton>("playButton"); }
    SpectrumView* spectrumView() { return control<SpectrumView>("spectrumView"); }
    QCheckBox* buttonMetronomStartWithMusic() {
        return control<QCheckBox>("buttonMetronomStartWithMusic");
    }
    QPushButton* buttonMetronomPlay() { return control<QPushButton>("buttonMetronomPlay"); }
    ValueSlider* sliderTempo() { return control<ValueSlider>("sliderTempo"); }
    ValueSlider* sliderRate() { return control<ValueSlider>("sliderRate"); }
    ValueSlider* sliderPitch() { return control<ValueSlider>("sliderPitch"); }
    ValueSlider* sliderVolume() { return control<ValueSlider>("sliderVolume"); }
    ValueSlider* sliderPosition() { return control<ValueSlider>("sliderPosition"); }
    ValueSlider* sliderMetronomVolume() { return control<ValueSlider>("sliderMetronomVolume"); }
    QLineEdit* labelTempo() { return control<QLineEdit>("labelTempo"); }
    QLineEdit* labelRate() { return control<QLineEdit>("labelRate"); }
    QLineEdit* labelPitch() { return control<QLineEdit>("labelPitch"); }
    QLabel* labelFilename() { return control<QLabel>("labelFilename"); }
    QLabel* labelTime() { return control<QLabel>("labelTime"); }
    QLineEdit* labelMetronomBPM() { return control<QLineEdit>("labelMetronomBPM"); }
    QMenu* menuFile() { return control<QMenu>("menuFile"); }
    QMenu* menuTonvera() { return control<QMenu>("menuTonvera"); }
    QAction* menuItemSparkle() { return control<QAction>("menuItemSparkle"); }
    QAction* menuItemExportAsWAV() { return control<QAction>("menuItemExportAsWAV"); }
    QAction* menuItemExportLoop() { return control<QAction>("menuItemExportLoop"); }
    QAction* menuItemOpenLogFile() { return control<QAction>("menuItemOpenLogFile"); }
    QAction* menuItemPlayPause() { return control<QAction>("menuItemPlayPause"); }

    testsupport::TempDir dir_;
    SoundEngine engine_;
    std::unique_ptr<TonveraAppDelegate> delegate_;
    QString chooserAnswer_;
    QStringList offeredTypes_;
    int chooserCalls_ = 0;
    int terminations_ = 0;
    // What the window told the user, in order.
    QStringList told_;
};

#endif
