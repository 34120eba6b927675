// The files opened or saved lately, most recent first, as File › Open Recent lists them. The list
// is kept in the user's settings so it outlives the run.
//
// Threads: main thread only.
#ifndef TONVERA_PLAYER_RECENT_RECENTFILES_H
#define TONVERA_PLAYER_RECENT_RECENTFILES_H

#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

class QSettings;

class RecentFiles {
  public:
    static constexpr qsizetype kMaximum = 10;
    // A string list of absolute paths, the most recent first.
    static constexpr char kSettingsKey[] = "RECENT_FILES";

    // Reads the stored list. `settingsFile`: an INI file in place of the user's settings store.
    explicit RecentFiles(std::optional<QString> settingsFile = std::nullopt);
    ~RecentFiles();

    const QStringList& paths() const { return paths_; }
    // Puts `path` (made absolute) at the top and stores the list: a file listed already moves up
    // instead of appearing twice, and the oldest entry drops off beyond kMaximum.
    void add(const QString& path);
    void clear();

  private:
    std::unique_ptr<QSettings> openStore() const;
    void store() const;

    std::optional<QString> settingsFile_;
    QStringList paths_;
};

#endif
