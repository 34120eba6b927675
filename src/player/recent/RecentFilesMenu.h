// File › Open Recent: the files opened or saved lately as a submenu, a settings file among them
// opened as a settings file and anything else as music. What is recorded goes into the program's
// own list and into the desktop's.
//
// Threads: main thread only.
#ifndef TONVERA_PLAYER_RECENT_RECENTFILESMENU_H
#define TONVERA_PLAYER_RECENT_RECENTFILESMENU_H

#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>

#include "player/recent/DesktopRecentList.h"
#include "player/recent/RecentFiles.h"

class QAction;

class RecentFilesMenu : public QObject {
    Q_OBJECT

  public:
    using Opener = std::function<void(const QString& path)>;

    // Puts the submenu into `fileMenu` right after `after` (at the end when `after` is the last
    // item or not in the menu); the file menu owns it.
    RecentFilesMenu(QMenu* fileMenu, QAction* after, Opener openMusic, Opener openSettings);
    ~RecentFilesMenu() override;

    // A file that has just opened or been saved: it goes to the top of both lists.
    void record(const QString& path);

  private:
    // Refills the submenu. Runs whenever it is about to show, so that a file deleted or moved
    // meanwhile shows greyed out.
    void rebuild();
    void openEntry(const QString& path);

    RecentFiles files_;
    DesktopRecentList desktop_;
    QPointer<QMenu> menu_;
    Opener openMusic_;
    Opener openSettings_;
};

#endif
