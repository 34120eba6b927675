// The widget tests need a QApplication; every default settings store and data folder they might
// touch is redirected into a temporary home for the whole run.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "support/TempHome.h"

int main(int argc, char** argv) {
    // Headless even when started by hand: no display, no sound card.
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::setenv("SDL_AUDIODRIVER", "dummy", 0);
    testsupport::TempHome home;
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
