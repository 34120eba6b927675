// The process entry: the log file is open before the application loop starts, so the first
// window, engine or exporter message already has a place to go.
#include <QApplication>
#include <QLabel>
#include <QMainWindow>

#include "logging/AppSupport.h"
#include "logging/Console.h"
#include "logging/Logger.h"

int main(int argc, char* argv[]) {
    Logger& logger = Logger::sharedSingleton();
    std::string why;
    if (!appsupport::ensureTonveraDirectory(&why)) {
        // The program runs on without a log file; the console still gets every line.
        console("Tonvera: cannot prepare the log folder: %s", why.c_str());
    }
    logger.openInAppSupportDirectory();

    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName("Tonvera");
    QCoreApplication::setApplicationName("Tonvera");
    QCoreApplication::setApplicationVersion(TONVERA_VERSION);
    QGuiApplication::setDesktopFileName("org.tonvera.Tonvera");

    QMainWindow window;
    window.setWindowTitle("Tonvera");
    auto* label = new QLabel("Tonvera", &window);  // owned by the window
    label->setAlignment(Qt::AlignCenter);
    window.setCentralWidget(label);
    window.resize(640, 420);
    window.show();
    return app.exec();
}
