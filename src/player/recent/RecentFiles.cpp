#include "player/recent/RecentFiles.h"

#include <QFileInfo>
#include <QSettings>
#include <utility>

#include "logging/Console.h"
#include "visualisation/GlobalSettings.h"

RecentFiles::RecentFiles(std::optional<QString> settingsFile)
    : settingsFile_(std::move(settingsFile)) {
    const QStringList stored = openStore()->value(QLatin1String(kSettingsKey)).toStringList();
    // The store may have been edited by hand: what comes back is held to the same rules as what
    // add() keeps.
    for (const QString& path : stored) {
        if (!path.isEmpty() && !paths_.contains(path) && paths_.size() < kMaximum) {
            paths_ << path;
        }
    }
}

RecentFiles::~RecentFiles() = default;

std::unique_ptr<QSettings> RecentFiles::openStore() const {
    if (settingsFile_) {
        return std::make_unique<QSettings>(*settingsFile_, QSettings::IniFormat);
    }
    return std::make_unique<QSettings>(QString::fromLatin1(settingskeys::kOrganisation),
                                       QString::fromLatin1(settingskeys::kApplication));
}

void RecentFiles::add(const QString& path) {
    const QString absolute = QFileInfo(path).absoluteFilePath();
    paths_.removeAll(absolute);
    paths_.prepend(absolute);
    while (paths_.size() > kMaximum) {
        paths_.removeLast();
    }
    store();
}

void RecentFiles::clear() {
    paths_.clear();
    store();
}

void RecentFiles::store() const {
    const auto settings = openStore();
    settings->setValue(QLatin1String(kSettingsKey), paths_);
    settings->sync();
    if (settings->status() != QSettings::NoError) {
        // The menu still holds the list for this run; only keeping it for the next one failed.
        console("RecentFiles: cannot write %s to %s", kSettingsKey,
                settings->fileName().toUtf8().constData());
    }
}
