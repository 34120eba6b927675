// The crash reporter's tests need one QApplication for the whole run. The same program doubles as
// the crashing helper of the fatal-signal test: started with --crash-helper=<mode> it installs
// the handler and crashes, before any Qt object exists.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>
#include <cstring>

#include "CrashHelper.h"
#include "support/TempHome.h"

int main(int argc, char** argv) {
    if (argc == 3 && std::strncmp(argv[1], "--crash-helper=", 15) == 0) {
        return crashhelper::run(argv[1] + 15, argv[2]);
    }
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // Settings and crash folders stay in a temporary home, never the real user's.
    testsupport::TempHome home;
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName("Tonvera");
    QCoreApplication::setApplicationVersion(TONVERA_VERSION);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
