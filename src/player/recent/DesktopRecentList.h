// The desktop's list of recently used files (freedesktop's recently-used.xbel, which file
// managers and file panels show): a file this program opened or saved is recorded there too.
// Only this program's entry for that file changes; the list's size is the desktop's business.
//
// Threads: main thread only.
#ifndef TONVERA_PLAYER_RECENT_DESKTOPRECENTLIST_H
#define TONVERA_PLAYER_RECENT_DESKTOPRECENTLIST_H

#include <QDateTime>
#include <QString>

class DesktopRecentList {
  public:
    // How the list names this program and starts it again with a file.
    static constexpr char kApplicationName[] = "Tonvera";
    static constexpr char kExec[] = "'tonvera %u'";

    // `listPath` empty: the user's list, looked up at each use.
    explicit DesktopRecentList(QString listPath = QString());

    // recently-used.xbel in the generic data folder.
    static QString userListPath();

    // Records a use of `path` at `when`. A list that cannot be read or is not a well-formed XBEL
    // document is left as it is; false then (the console says why) and when writing fails. The
    // list is replaced atomically: a crash leaves the old list or the new one.
    bool add(const QString& path, const QDateTime& when = QDateTime::currentDateTimeUtc()) const;

  private:
    QString listPath_;
};

#endif
