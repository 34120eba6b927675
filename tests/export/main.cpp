// The widget tests need one QApplication for the whole run, made before any test.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "support/TempHome.h"

int main(int argc, char** argv) {
    // Headless and silent also when run outside CTest.
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::setenv("SDL_AUDIODRIVER", "dummy", 0);
    // The program finds click.wav and the icons through TONVERA_RESOURCE_DIR; CTest names the
    // build tree's copy in TONVERA_TEST_RESOURCES.
    if (const char* resources = std::getenv("TONVERA_TEST_RESOURCES")) {
        ::setenv("TONVERA_RESOURCE_DIR", resources, 0);
    }
    // Settings (the spectrum type), the log and the single-instance socket stay in a temporary
    // home, never the real user's.
    testsupport::TempHome home;
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName("Tonvera");
    QCoreApplication::setApplicationVersion(TONVERA_VERSION);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
