// A real crash: the helper process installs the handler and crashes; the crash log it leaves is
// read back. Under AddressSanitizer the sanitizer's own report must still come out.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <QDir>
#include <QRegularExpression>
#include <csignal>
#include <string>

#include "crashreport/FatalSignalHandler.h"
#include "support/TempHome.h"

extern char** environ;

namespace {

// GCC names the sanitizer with a macro; clang (before 16) only answers __has_feature.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
constexpr bool kAddressSanitizer = __has_feature(address_sanitizer);
#else
constexpr bool kAddressSanitizer = false;
#endif

struct CrashRun {
    int status = 0;
    std::string stderrText;
    QStringList logs;
};

CrashRun runHelper(const std::string& mode, const testsupport::TempDir& dir) {
    const std::string folder = dir.file("Logs/DiagnosticReports");
    const std::string errors = dir.file("stderr.txt");
    const std::string self = "/proc/self/exe";
    std::string modeArg = "--crash-helper=" + mode;
    char* argv[] = {const_cast<char*>(self.c_str()), modeArg.data(),
                    const_cast<char*>(folder.c_str()), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    CrashRun run;
    pid_t pid = 0;
    EXPECT_EQ(posix_spawn(&pid, self.c_str(), &actions, nullptr, argv, environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    EXPECT_EQ(waitpid(pid, &run.status, 0), pid);
    run.stderrText = testsupport::readFile(errors);
    const QDir logDir(QString::fromStdString(folder));
    for (const QString& name : logDir.entryList(QDir::Files)) {
        run.logs << logDir.filePath(name);
    }
    return run;
}

void expectDiedOfSegv(const CrashRun& run, const char* sanitizerWord) {
    if (kAddressSanitizer) {
        // The fault repeated under the sanitizer's handler, which reported it and exited.
        EXPECT_NE(run.status, 0);
        EXPECT_NE(run.stderrText.find("AddressSanitizer"), std::string::npos) << run.stderrText;
        EXPECT_NE(run.stderrText.find(sanitizerWord), std::string::npos) << run.stderrText;
    } else {
        ASSERT_TRUE(WIFSIGNALED(run.status)) << "status " << run.status << run.stderrText;
        EXPECT_EQ(WTERMSIG(run.status), SIGSEGV);
    }
}

}  // namespace

TEST(FatalSignalTest, ASegfaultLeavesACrashLogAndTheProcessStillDiesOfIt) {
    testsupport::TempDir dir;
    const CrashRun run = runHelper("fault", dir);
    expectDiedOfSegv(run, "SEGV");

    ASSERT_EQ(run.logs.size(), 1) << run.stderrText;
    EXPECT_TRUE(QRegularExpression(R"(/test_crashreport_\d{4}-\d\d-\d\d-\d{6}\.crash$)")
                    .match(run.logs[0])
                    .hasMatch())
        << run.logs[0].toStdString();
    const std::string log = testsupport::readFile(run.logs[0].toStdString());
    EXPECT_NE(log.find("Version:         9.8.7\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Exception Type:  SIGSEGV (Segmentation fault)\n"), std::string::npos);
    EXPECT_NE(log.find("Exception Codes: SEGV_MAPERR at 0x0000000000000010\n"), std::string::npos)
        << log;
    // The first frame is the faulting function, in this program, with its offset in the file.
    EXPECT_TRUE(QRegularExpression(R"(Crashed:\n0   test_crashreport +0x[0-9a-f]{16} )"
                                   R"(test_crashreport \+ 0x[0-9a-f]+ )")
                    .match(QString::fromStdString(log))
                    .hasMatch())
        << log;
}

TEST(FatalSignalTest, AStackOverflowIsReportedFromTheAlternateStack) {
    testsupport::TempDir dir;
    const CrashRun run = runHelper("overflow", dir);
    expectDiedOfSegv(run, "stack-overflow");
    ASSERT_EQ(run.logs.size(), 1) << run.stderrText;
    const std::string log = testsupport::readFile(run.logs[0].toStdString());
    EXPECT_NE(log.find("Exception Type:  SIGSEGV"), std::string::npos) << log;
    EXPECT_NE(log.find("Crashed:\n0   test_crashreport"), std::string::npos) << log;
}

TEST(FatalSignalTest, CrashLogNamesCarryTheLocalTime) {
    char name[64];
    // 2026-12-08 02:41:15 UTC, shown one hour ahead.
    ASSERT_GT(crashsignal::crashLogName("tonvera", 1796697675, 3600, name, sizeof name), 0u);
    EXPECT_STREQ(name, "tonvera_2026-12-08-034115.crash");
    EXPECT_EQ(crashsignal::crashLogName("tonvera", 1796697675, 0, name, 10), 0u);
}
