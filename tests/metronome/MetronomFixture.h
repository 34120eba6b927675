// A sound engine on SDL's dummy output with its log in a temporary folder, a generated click
// file, and helpers to read the console and the log.
#ifndef TONVERA_TESTS_METRONOME_METRONOMFIXTURE_H
#define TONVERA_TESTS_METRONOME_METRONOMFIXTURE_H

#include <gtest/gtest.h>

#include <QString>
#include <string>

#include "engine/SoundEngine.h"
#include "logging/Logger.h"
#include "support/AudioFixtures.h"
#include "support/TempHome.h"

class MetronomEngineTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(Logger::sharedSingleton().open(dir_.file("log.txt"))); }
    void TearDown() override {
        engine_.reset();
        engine_.close();
        Logger::sharedSingleton().close();
    }

    // Initialises the engine; false (the test then skips) when even the dummy output fails.
    bool startEngine() { return engine_.initialize(); }

    // A 20 ms mono click written as WAV into the temporary folder.
    QString clickFile() {
        const std::string path = dir_.file("click.wav");
        std::string error;
        const auto data = testsupport::clicks(1.0, 0.02, 44100, 1);
        EXPECT_TRUE(
            testsupport::writeWav(path, data, 44100, 1, testsupport::WavSampleFormat::S16, &error))
            << error;
        return QString::fromStdString(path);
    }

    std::string log() const { return testsupport::readFile(dir_.file("log.txt")); }

    testsupport::TempDir dir_;
    SoundEngine engine_;
};

#endif
