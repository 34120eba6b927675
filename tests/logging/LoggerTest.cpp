#include "logging/Logger.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

#include "logging/AppSupport.h"
#include "support/TempHome.h"

namespace {

using testsupport::readFile;
using testsupport::TempHome;

// Sends fd 2 into a file for the scope, so the console lines can be read back.
class StderrCapture {
  public:
    StderrCapture() : file_(dir_.file("stderr.txt")) {
        std::fflush(stderr);
        saved_ = ::dup(2);
        FILE* f = std::fopen(file_.c_str(), "w");
        ::dup2(::fileno(f), 2);
        std::fclose(f);
    }
    ~StderrCapture() { restore(); }
    std::string text() {
        restore();
        return readFile(file_);
    }

  private:
    void restore() {
        if (saved_ >= 0) {
            std::fflush(stderr);
            ::dup2(saved_, 2);
            ::close(saved_);
            saved_ = -1;
        }
    }
    testsupport::TempDir dir_;
    std::string file_;
    int saved_ = -1;
};

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

TEST(Logger, EachOpenReplacesThePreviousRunsFile) {
    TempHome home;
    ASSERT_TRUE(appsupport::ensureTonveraDirectory(nullptr));
    {
        Logger first;
        ASSERT_TRUE(first.openInAppSupportDirectory());
        first.write("first run");
    }
    Logger second;
    ASSERT_TRUE(second.openInAppSupportDirectory());
    second.write("second run");
    second.write("");
    second.write("ends with a line feed\n");

    const std::string expectedPath = home.dataHome() + "/Tonvera/tonvera_log.txt";
    EXPECT_EQ(second.path(), expectedPath);
    EXPECT_EQ(readFile(expectedPath), "Tonvera logfile\nsecond run\n\nends with a line feed\n\n");
}

TEST(Logger, MissingFolderIsReportedAsReadOnlyAndCreatesNothing) {
    TempHome home;  // no Tonvera folder inside it
    StderrCapture capture;
    Logger logger;
    EXPECT_FALSE(logger.openInAppSupportDirectory());
    logger.write("still on the console");
    const std::string path = home.dataHome() + "/Tonvera/tonvera_log.txt";
    const std::string console = capture.text();

    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(logger.path(), path);
    const auto opening = console.find("Logger.open: opening log file " + path);
    const auto readOnly = console.find("Logger.open: file is read only " + path);
    ASSERT_NE(opening, std::string::npos) << console;
    ASSERT_NE(readOnly, std::string::npos) << console;
    EXPECT_LT(opening, readOnly);
    EXPECT_NE(console.find("still on the console"), std::string::npos);
}

TEST(Logger, NonAsciiTextIsWrittenWholeAsUtf8) {
    TempHome home;
    testsupport::TempDir dir;
    Logger logger;
    ASSERT_TRUE(logger.open(dir.file("log.txt")));
    const std::string name =
        "SoundEngine: opened music file /m\xC3\xBAsica/\xE6\x9B\xB2 caf\xC3\xA9.mp3";
    logger.write(name);
    EXPECT_EQ(readFile(dir.file("log.txt")), "Tonvera logfile\n" + name + "\n");
}

TEST(Logger, MessagesBeforeOpenAndAfterCloseReachTheConsoleOnly) {
    testsupport::TempDir dir;
    StderrCapture capture;
    Logger logger;
    logger.write("before open");
    ASSERT_TRUE(logger.open(dir.file("log.txt")));
    logger.write("while open");
    logger.close();
    logger.write("after close");
    const std::string console = capture.text();

    EXPECT_EQ(readFile(dir.file("log.txt")), "Tonvera logfile\nwhile open\n");
    for (const char* text : {"before open", "while open", "after close"}) {
        EXPECT_NE(console.find(text), std::string::npos) << text;
    }
}

TEST(Logger, ConcurrentWritersLeaveOnlyWholeLines) {
    testsupport::TempDir dir;
    Logger logger;
    ASSERT_TRUE(logger.open(dir.file("log.txt")));
    // Long lines make interleaving within a line likely if writes were split or buffered.
    constexpr int kLines = 400;
    const std::string bodyA(300, 'a');
    const std::string bodyB(300, 'b');
    {
        StderrCapture quiet;  // keep the test output readable
        std::thread worker([&] {
            for (int i = 0; i < kLines; ++i)
                logger.write("B" + std::to_string(i) + bodyB);
        });
        for (int i = 0; i < kLines; ++i)
            logger.write("A" + std::to_string(i) + bodyA);
        worker.join();
    }
    const auto all = lines(readFile(dir.file("log.txt")));
    ASSERT_EQ(all.size(), 1U + 2U * kLines);
    EXPECT_EQ(all[0], "Tonvera logfile");
    std::set<std::string> seen;
    for (std::size_t i = 1; i < all.size(); ++i) {
        const std::string& line = all[i];
        const char kind = line.front();
        ASSERT_TRUE(kind == 'A' || kind == 'B') << line;
        const std::string& body = kind == 'A' ? bodyA : bodyB;
        ASSERT_GE(line.size(), body.size());
        EXPECT_EQ(line.substr(line.size() - body.size()), body) << "mixed line: " << line;
        seen.insert(line.substr(0, line.size() - body.size()));
    }
    EXPECT_EQ(seen.size(), 2U * kLines);
}

TEST(AppSupport, FollowsXdgDataHomeAndCreatesTheProgramFolder) {
    TempHome home;
    EXPECT_EQ(appsupport::directory(), home.dataHome());
    ::setenv("XDG_DATA_HOME", "relative/ignored", 1);
    EXPECT_EQ(appsupport::directory(), home.home() + "/.local/share");
    ::unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(appsupport::tonveraDirectory(), home.home() + "/.local/share/Tonvera");
    EXPECT_TRUE(appsupport::ensureTonveraDirectory(nullptr));
    EXPECT_TRUE(std::filesystem::is_directory(appsupport::tonveraDirectory()));
}

TEST(AppSupport, AFileWhereTheFolderShouldBeIsReportedNotFollowed) {
    TempHome home;
    {
        std::FILE* blocker = std::fopen((home.dataHome() + "/Tonvera").c_str(), "w");
        ASSERT_NE(blocker, nullptr);
        std::fclose(blocker);
    }
    std::string why;
    EXPECT_FALSE(appsupport::ensureTonveraDirectory(&why));
    EXPECT_NE(why.find("Tonvera"), std::string::npos) << why;

    StderrCapture quiet;
    Logger logger;
    EXPECT_FALSE(logger.openInAppSupportDirectory());
}

}  // namespace
