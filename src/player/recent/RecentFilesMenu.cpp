#include "player/recent/RecentFilesMenu.h"

#include <QAction>
#include <QFileInfo>
#include <QMenu>
#include <utility>

#include "formats/PracticeSettings.h"
#include "logging/Console.h"

namespace {

// "&1 song.ogg" … "1&0 song.ogg": the digit is the key that chooses the entry.
QString entryText(qsizetype index, const QString& path) {
    QString name = QFileInfo(path).fileName();
    name.replace(QLatin1Char('&'), QStringLiteral("&&"));
    const QString number = QString::number(index + 1);
    const QString mnemonic = number.left(number.size() - 1) + QLatin1Char('&') + number.right(1);
    return mnemonic + QLatin1Char(' ') + name;
}

bool isSettingsFile(const QString& path) {
    return QFileInfo(path).suffix().compare(QLatin1String(kPracticeSettingsExtension),
                                            Qt::CaseInsensitive) == 0;
}

}  // namespace

RecentFilesMenu::RecentFilesMenu(QMenu* fileMenu, QAction* after, Opener openMusic,
                                 Opener openSettings)
    : openMusic_(std::move(openMusic)), openSettings_(std::move(openSettings)) {
    menu_ = new QMenu(tr("Open &Recent"), fileMenu);
    menu_->setObjectName(QStringLiteral("menuOpenRecent"));
    menu_->setToolTipsVisible(true);
    const QList<QAction*> items = fileMenu->actions();
    const qsizetype at = items.indexOf(after);
    fileMenu->insertMenu(at >= 0 && at + 1 < items.size() ? items[at + 1] : nullptr, menu_);
    connect(menu_, &QMenu::aboutToShow, this, &RecentFilesMenu::rebuild);
    rebuild();
}

RecentFilesMenu::~RecentFilesMenu() = default;

void RecentFilesMenu::record(const QString& path) {
    files_.add(path);
    desktop_.add(files_.paths().front());
}

void RecentFilesMenu::rebuild() {
    if (!menu_) {
        return;
    }
    menu_->clear();
    const QStringList& paths = files_.paths();
    for (qsizetype i = 0; i < paths.size(); ++i) {
        const QString& path = paths[i];
        QAction* entry = menu_->addAction(entryText(i, path));
        entry->setToolTip(path);
        entry->setStatusTip(path);
        entry->setEnabled(QFileInfo::exists(path));
        connect(entry, &QAction::triggered, this, [this, path] { openEntry(path); });
    }
    menu_->addSeparator();
    QAction* clear = menu_->addAction(tr("Clear Menu"));
    clear->setEnabled(!paths.isEmpty());
    // The list changes under the open menu; the menu itself is refilled the next time it shows,
    // never while one of its items is still being triggered.
    connect(clear, &QAction::triggered, this, [this] { files_.clear(); });
}

void RecentFilesMenu::openEntry(const QString& path) {
    console("open recent: %s", path.toUtf8().constData());
    const Opener& open = isSettingsFile(path) ? openSettings_ : openMusic_;
    if (open) {
        open(path);
    }
}
