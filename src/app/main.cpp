// The process entry: the log file is open before the application loop starts, so the first
// window, engine or exporter message already has a place to go.
#include <QApplication>
#include <QFileInfo>
#include <cstdio>
#include <string>
#include <vector>

#include "audiolib/audiolib.h"
#include "audiolib/core/Diagnostics.h"
#include "crashreport/CrashReportConfig.h"
#include "crashreport/FatalSignalHandler.h"
#include "crashreport/SystemInfo.h"
#include "engine/export/CommandLineExport.h"
#include "logging/AppSupport.h"
#include "logging/Console.h"
#include "logging/Logger.h"
#include "player/SingleInstance.h"
#include "player/TonveraAppDelegate.h"
#include "visualisation/GlobalSettings.h"

namespace {

// From here on a fatal signal leaves a crash log, which the next start offers to send.
void installCrashHandler() {
    crashsignal::ProgramInfo info;
    const QFileInfo executable(QCoreApplication::applicationFilePath());
    info.executableName = executable.fileName().toStdString();
    info.executablePath = executable.absoluteFilePath().toStdString();
    info.identifier = crashconfig::kBundleIdentifier;
    info.version = QCoreApplication::applicationVersion().toStdString();
    info.osVersion = systeminfo::osDescription().toStdString();
    const std::string folder =
        (crashconfig::libraryFolder() + QStringLiteral("/Logs/DiagnosticReports")).toStdString();
    std::string why;
    if (!crashsignal::install(folder, info, &why)) {
        console("Tonvera: crashes will leave no crash log: %s", why.c_str());
    }
}

// No window and no sound device: usable over ssh and in scripts.
int exportFromCommandLine(commandline::Request request, int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName("Tonvera");
    QCoreApplication::setApplicationName("Tonvera");
    QCoreApplication::setApplicationVersion(TONVERA_VERSION);
    // stderr is for the progress line and the one error line; the diagnostic lines still reach
    // the system log. The log file is left alone: opening it would replace the log of a player
    // that may be running.
    setConsoleToStderr(false);
    audiolib::setDiagnosticSink([](const char* line) { Logger::sharedSingleton().write(line); });
    if (!request.qualityGiven) {
        request.settings.engineFlags =
            GlobalSettings::sharedSingleton().soundQuality() == 1 ? TONVERA_FX_TEMPO_LIGHT : 0;
    }
    return commandline::runExport(request, stderr, stderr);
}

}  // namespace

int main(int argc, char* argv[]) {
    const commandline::Request request =
        commandline::parse(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc));
    switch (request.action) {
        case commandline::Action::Help:
            std::fputs(commandline::usage("tonvera").c_str(), stdout);
            return 0;
        case commandline::Action::Invalid:
            std::fprintf(stderr, "tonvera: %s\nTry 'tonvera --help' for more information.\n",
                         request.error.c_str());
            return 2;
        case commandline::Action::Export:
            return exportFromCommandLine(request, argc, argv);
        case commandline::Action::StartPlayer:
            break;
    }

    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName("Tonvera");
    QCoreApplication::setApplicationName("Tonvera");
    QCoreApplication::setApplicationVersion(TONVERA_VERSION);
    QGuiApplication::setDesktopFileName("org.tonvera.Tonvera");

    // `tonvera FILE` while the program runs hands FILE to it and ends. This comes before the log
    // is opened, because opening it replaces the file the running program is writing.
    const QStringList files = QCoreApplication::arguments().mid(1);
    SingleInstance instance;
    if (instance.handOver(files)) {
        return 0;
    }

    Logger& logger = Logger::sharedSingleton();
    std::string why;
    if (!appsupport::ensureTonveraDirectory(&why)) {
        // The program runs on without a log file; the console still gets every line.
        console("Tonvera: cannot prepare the log folder: %s", why.c_str());
    }
    logger.openInAppSupportDirectory();
    installCrashHandler();

    TonveraAppDelegate delegate;
    instance.listen();
    // Both signals come from the socket server on the main thread.
    QObject::connect(&instance, &SingleInstance::openRequested, &delegate,
                     &TonveraAppDelegate::applicationOpenFile);
    QObject::connect(&instance, &SingleInstance::activationRequested, &delegate,
                     &TonveraAppDelegate::showMainApplicationWindow);
    delegate.applicationDidFinishLaunching();
    // Files from the command line open once the engine is up, on the running loop.
    for (const QString& file : files) {
        QMetaObject::invokeMethod(
            &delegate, [&delegate, file] { delegate.applicationOpenFile(file); },
            Qt::QueuedConnection);
    }
    return app.exec();
}
