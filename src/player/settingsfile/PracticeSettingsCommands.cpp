#include "player/settingsfile/PracticeSettingsCommands.h"

#include <QDir>
#include <QFileInfo>
#include <utility>

#include "formats/PracticeSettingsFile.h"
#include "logging/Console.h"
#include "player/settingsfile/PracticeSettingsApplier.h"

namespace {

constexpr qint64 kAnswerYes = 1000;

QByteArray utf8(const QString& text) {
    return text.toUtf8();
}

// "%@" of a missing path has always shown as "(null)".
QString shownPath(const std::optional<QString>& path) {
    return path ? *path : QStringLiteral("(null)");
}

}  // namespace

PracticeSettingsCommands::PracticeSettingsCommands(PracticeControls& controls,
                                                   PracticeSettingsDialogs dialogs,
                                                   FileUsed fileUsed)
    : controls_(controls), dialogs_(std::move(dialogs)), fileUsed_(std::move(fileUsed)) {}

QString PracticeSettingsCommands::withSettingsExtension(const QString& path) {
    const QString suffix = QFileInfo(path).suffix();
    if (suffix.compare(QLatin1String(kPracticeSettingsExtension), Qt::CaseInsensitive) == 0) {
        return path;
    }
    return path + QLatin1Char('.') + QLatin1String(kPracticeSettingsExtension);
}

void PracticeSettingsCommands::menuSaveSettingsFile() {
    // Checked before the panel: a settings file is a set-up for one piece of music, and without
    // one there is nothing to save (asking for a file name first would waste the user's time).
    if (controls_.musicFile().isEmpty()) {
        console("menuSaveSettingsFile: no music file open, nothing saved");
        dialogs_.inform(QStringLiteral("There is no music to save practice settings for."),
                        QStringLiteral("Practice settings are saved together with their music "
                                       "file. Open a music file first, then save again."));
        return;
    }
    const QString chosen =
        dialogs_.chooseFileToSave(FilePanel{QString(), QLatin1String(kPracticeSettingsProposedName),
                                            QLatin1String(kPracticeSettingsExtension)});
    if (chosen.isEmpty()) {
        return;
    }
    const QString path = withSettingsExtension(chosen);

    console("menuSaveSettingsFile: %s", utf8(controls_.musicFile()).constData());
    const PracticeSettings settings = PracticeSettingsApplier(controls_).collect();

    console("writing settings file");
    const QString error = PracticeSettingsFile::write(path, settings);
    if (!error.isEmpty()) {
        console("saving settings file to : %s failed: %s", utf8(path).constData(),
                utf8(error).constData());
        dialogs_.inform(QStringLiteral("The practice settings could not be saved."),
                        QStringLiteral("%1\n\n%2").arg(QDir::toNativeSeparators(path), error));
        return;
    }
    console("saved settings file to : %s", utf8(path).constData());
    if (fileUsed_) {
        fileUsed_(path);
    }
}

void PracticeSettingsCommands::menuOpenSettingsFile() {
    const QString path =
        dialogs_.chooseFileToOpen(FilePanel{QStringLiteral("open settings file"), QString(),
                                            QLatin1String(kPracticeSettingsExtension)});
    if (path.isEmpty()) {
        return;
    }
    openSettingsFile(path);
}

void PracticeSettingsCommands::openSettingsFile(const QString& path) {
    const PracticeControlsLock lock(controls_);
    const PracticeSettingsReadResult read = PracticeSettingsFile::read(path);
    if (!read.settings) {
        // Applying what could not be read would zero every control and could drop the music.
        console("menuOpenSettingsFile: cannot read %s: %s", utf8(path).constData(),
                utf8(read.error).constData());
        dialogs_.inform(QStringLiteral("The practice settings file could not be read."),
                        QStringLiteral("%1\n\n%2\n\nNothing was changed.")
                            .arg(QDir::toNativeSeparators(path), read.error));
        return;
    }
    const PracticeSettings& settings = *read.settings;

    console("checking sound engine");
    if (!controls_.musicFile().isEmpty()) {
        const qint64 answer = dialogs_.askYesNo(
            QStringLiteral("Do you want to load the music file from the settings too?"),
            QStringLiteral("settings music file: %1").arg(shownPath(settings.musicFile)));
        loadSettingsFile(settings, answer == kAnswerYes);
    } else {
        loadSettingsFile(settings, true);
    }
    if (fileUsed_) {
        fileUsed_(path);
    }
}

void PracticeSettingsCommands::loadSettingsFile(const PracticeSettings& settings,
                                                bool overloadMusic) {
    PracticeSettingsApplier(controls_).apply(settings, overloadMusic);
}
