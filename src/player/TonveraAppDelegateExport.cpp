// The export command: the save panel, pausing the music, and the sheet that runs the export.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMainWindow>

#include "engine/SoundEngine.h"
#include "engine/export/ExportTarget.h"
#include "engine/export/ExportType.h"
#include "engine/export/SoundExporter.h"
#include "export/ExportWindow.h"
#include "logging/Console.h"
#include "player/TonveraAppDelegate.h"
#include "player/practice/PracticeTools.h"
#include "ui_MainWindow.h"

namespace {

// The music and the values it plays with now, copied on the UI thread: the export's worker reads
// this copy, never the engine.
ExportSettings exportSettingsFromEngine(const SoundEngine& engine) {
    ExportSettings settings;
    settings.musicFile = engine.musicFile();
    settings.tempo = engine.tempo();
    settings.pitch = engine.pitch();
    settings.tuning = engine.tuning();
    settings.hearing = engine.hearing();
    settings.rate = engine.samplerate();
    settings.engineFlags = engine.tempoEngineFlags();
    settings.outputDevice = engine.bassDevice();
    return settings;
}

}  // namespace

QStringList TonveraAppDelegate::exportFileFilters() {
    return QStringList{tr("WAV audio (*.wav)"), tr("MP4 audio, AAC (*.mp4)"),
                       tr("M4A audio, Apple Lossless (*.m4a)")} +
           exportHeardFilters() + QStringList{tr("All files (*)")};
}

QStringList TonveraAppDelegate::exportHeardFilters() {
    // The level rides on the type filter so that the desktop's own save panel can offer it too.
    return {tr("WAV audio, as heard at full volume (*.wav)"),
            tr("MP4 audio, AAC, as heard at full volume (*.mp4)"),
            tr("M4A audio, Apple Lossless, as heard at full volume (*.m4a)")};
}

ExportWindow* TonveraAppDelegate::exportController() const {
    return m_pExportController;
}

void TonveraAppDelegate::menuExportAsWAV() {
    startExport(tr("Export"), QStringLiteral("export.wav"), 0.0, 0.0);
}

void TonveraAppDelegate::menuExportLoop() {
    const LoopRange loop = practiceTools_->loop();
    if (!loop.isSet()) {
        QApplication::beep();
        return;
    }
    startExport(tr("Export Loop"), QStringLiteral("loop.wav"), loop.start, loop.end);
}

void TonveraAppDelegate::startExport(const QString& title, const QString& proposedName,
                                     double rangeStart, double rangeEnd) {
    if (!soundEngine_->musicAvailable()) {
        menuOpenFile();
        return;
    }
    // One export at a time: the command is off until this one's sheet has ended.
    if (m_pExportController && m_pExportController->running())
        return;
    // A controller left by a cancelled panel goes now.
    if (m_pExportController)
        m_pExportController->deleteLater();
    m_pExportController = new ExportWindow(window_.get());

    const QString musicFolder =
        QFileInfo(QString::fromStdString(soundEngine_->musicFile())).absolutePath();
    const SaveChoice choice = saveChooser_(
        window_.get(), title, QDir(musicFolder).filePath(proposedName), exportFileFilters());
    const QString& chosen = choice.path;
    if (chosen.isEmpty())
        return;
    // Writing the export over the file it is read from would destroy the music mid-way.
    if (ExportTarget::sameFile(chosen.toStdString(), soundEngine_->musicFile())) {
        tellUser(tr("The export cannot replace the music file that is open. Choose another name."));
        return;
    }
    if (soundEngine_->isPlaying())
        clickedPlayButton();

    const QFileInfo file(chosen);
    console("export extension: %s", file.suffix().toUtf8().constData());
    m_pExportController->setType(exporttype::forPath(chosen.toStdString()));
    m_pExportController->setOutputPath(file.absoluteFilePath());
    // Taken once the music is paused: a speed trainer moves the tempo only while it plays.
    ExportSettings settings = exportSettingsFromEngine(*soundEngine_);
    settings.level =
        exportHeardFilters().contains(choice.filter) ? ExportLevel::Heard : ExportLevel::Original;
    m_pExportController->setSettings(std::move(settings));
    m_pExportController->setRange(rangeStart, rangeEnd);
    connect(m_pExportController, &ExportWindow::sheetEnded, this, &TonveraAppDelegate::didEndSheet);
    ui_->menuItemExportAsWAV->setEnabled(false);
    exportRunning_ = true;
    showExportLoopItem();
    m_pExportController->windowDidLoad();
    console("opened export controller");
}

void TonveraAppDelegate::didEndSheet(bool succeeded, bool cancelled, const QString& failure) {
    console("didEndSheet");
    if (!m_pExportController)
        return;
    m_pExportController->hide();
    // Deleted from the event loop: this runs inside the window's own signal.
    m_pExportController->deleteLater();
    m_pExportController = nullptr;
    ui_->menuItemExportAsWAV->setEnabled(true);
    exportRunning_ = false;
    showExportLoopItem();
    if (!succeeded && !cancelled)
        tellUser(tr("The export failed. %1").arg(failure));
}
