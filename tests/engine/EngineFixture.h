// A SoundEngine on SDL's dummy output with its log file in a temporary folder, plus generated
// music files.
#ifndef TONVERA_TESTS_ENGINE_ENGINEFIXTURE_H
#define TONVERA_TESTS_ENGINE_ENGINEFIXTURE_H

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/SoundEngine.h"
#include "logging/Logger.h"
#include "support/AudioFixtures.h"
#include "support/TempHome.h"

class EngineTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(Logger::sharedSingleton().open(dir_.file("log.txt"))); }
    void TearDown() override {
        engine_.reset();
        engine_.close();
        Logger::sharedSingleton().close();
    }

    // The log file's lines after its header.
    std::vector<std::string> logLines() const {
        std::vector<std::string> out;
        std::istringstream in(testsupport::readFile(dir_.file("log.txt")));
        std::string line;
        std::getline(in, line);  // header
        while (std::getline(in, line))
            out.push_back(line);
        return out;
    }
    bool logHas(const std::string& line) const {
        for (const auto& l : logLines()) {
            if (l == line)
                return true;
        }
        return false;
    }

    // A sine file in the temporary folder; the extension picks the format.
    std::string sineFile(const std::string& name, double seconds, int rate = 44100,
                         int channels = 2, double hz = 440.0) {
        const std::string path = dir_.file(name);
        std::string error;
        const auto data = testsupport::sine(hz, seconds, rate, channels, 0.5F);
        EXPECT_TRUE(testsupport::writeAudioFile(path, data, rate, channels, &error)) << error;
        return path;
    }

    // Polls until the condition holds or the timeout passes.
    static bool waitFor(const std::function<bool()>& condition,
                        std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < end) {
            if (condition())
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return condition();
    }

    testsupport::TempDir dir_;
    SoundEngine engine_;
};

#endif
