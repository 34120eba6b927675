#include "player/practice/MarkerTools.h"

#include <QAction>
#include <QApplication>
#include <QBoxLayout>
#include <QMenu>
#include <QPushButton>

#include "engine/SoundEngine.h"
#include "formats/Markers.h"
#include "logging/Console.h"
#include "player/practice/MarkerListWindow.h"

namespace {

// Names are one line of readable text: control characters (a pasted line break, a NUL a
// settings file could not hold) are dropped.
QString cleanName(const QString& name) {
    QString clean;
    for (const QChar c : name) {
        if (!c.isNonCharacter() && c.category() != QChar::Other_Control && !c.isSurrogate())
            clean += c;
    }
    return clean.simplified().left(200);
}

}  // namespace

MarkerTools::MarkerTools(SoundEngine& engine, QWidget* window, Actions actions)
    : QObject(nullptr), engine_(engine), window_(window), actions_(std::move(actions)) {}

MarkerTools::~MarkerTools() = default;

void MarkerTools::addControls(QWidget* group, QBoxLayout* row) {
    auto* addMarker = new QPushButton(tr("Add &Marker"), group);
    addMarker->setToolTip(tr("A marker at the heard place (Ctrl+M)"));
    connect(addMarker, &QPushButton::clicked, this, &MarkerTools::add);
    auto* listMarkers = new QPushButton(tr("Markers..."), group);
    listMarkers->setObjectName(QStringLiteral("buttonMarkers"));
    listMarkers->setToolTip(tr("Name, delete and loop between the markers"));
    connect(listMarkers, &QPushButton::clicked, this, &MarkerTools::showList);
    row->addWidget(addMarker);
    row->addWidget(listMarkers);
}

void MarkerTools::addMenuItems(QMenu* menu) {
    connect(menu->addAction(tr("Add &Marker\tCtrl+M")), &QAction::triggered, this,
            &MarkerTools::add);
    connect(menu->addAction(tr("&Next Marker\tPgDown")), &QAction::triggered, this,
            &MarkerTools::next);
    connect(menu->addAction(tr("&Previous Marker\tPgUp")), &QAction::triggered, this,
            &MarkerTools::previous);
    connect(menu->addAction(tr("Loop to Next Mar&ker\tShift+L")), &QAction::triggered, this,
            &MarkerTools::loopToNext);
    connect(menu->addAction(tr("Mar&kers...")), &QAction::triggered, this, &MarkerTools::showList);
}

void MarkerTools::add() {
    if (!engine_.musicAvailable() || markers_.size() >= markers::kMostMarkers) {
        QApplication::beep();
        return;
    }
    Marker marker{engine_.positionSeconds(), markers::defaultName(markers_)};
    console("marker: %s at %.3f s", qUtf8Printable(marker.name), marker.seconds);
    markers::insert(markers_, std::move(marker));
    listChanged();
}

void MarkerTools::next() {
    const auto index = markers::nextAfter(markers_, engine_.positionSeconds());
    if (!index) {
        QApplication::beep();
        return;
    }
    actions_.seek(markers_[*index].seconds);
}

void MarkerTools::previous() {
    const auto index = markers::previousBefore(markers_, engine_.positionSeconds());
    // Before the first marker, PgUp goes to the song's start, as a previous-track key does.
    actions_.seek(index ? markers_[*index].seconds : 0.0);
}

void MarkerTools::loopToNext() {
    const auto index = markers::startingAt(markers_, engine_.positionSeconds());
    if (!index) {
        QApplication::beep();
        return;
    }
    loopFrom(*index);
}

void MarkerTools::loopFrom(std::size_t index) {
    const auto loop = markers::loopFrom(markers_, index, engine_.lengthSeconds());
    if (!loop) {
        QApplication::beep();
        return;
    }
    actions_.loop(*loop);
}

void MarkerTools::rename(std::size_t index, const QString& name) {
    if (index >= markers_.size())
        return;
    const QString clean = cleanName(name);
    if (!clean.isEmpty())
        markers_[index].name = clean;
    listChanged();
}

void MarkerTools::remove(std::size_t index) {
    if (index >= markers_.size())
        return;
    markers_.erase(markers_.begin() + static_cast<std::ptrdiff_t>(index));
    listChanged();
}

void MarkerTools::set(std::vector<Marker> list) {
    markers::tidy(list);
    for (Marker& marker : list) {
        marker.name = cleanName(marker.name);
    }
    for (Marker& marker : list) {
        if (marker.name.isEmpty())
            marker.name = markers::defaultName(list);
    }
    markers_ = std::move(list);
    listChanged();
}

void MarkerTools::showList() {
    if (!listWindow_) {
        listWindow_ = new MarkerListWindow(window_);
        listWindow_->setAttribute(Qt::WA_DeleteOnClose);
        connect(listWindow_, &MarkerListWindow::goTo, this, [this](std::size_t index) {
            if (index < markers_.size())
                actions_.seek(markers_[index].seconds);
        });
        connect(listWindow_, &MarkerListWindow::loopFrom, this, &MarkerTools::loopFrom);
        connect(listWindow_, &MarkerListWindow::renamed, this, &MarkerTools::rename);
        connect(listWindow_, &MarkerListWindow::removed, this, &MarkerTools::remove);
    }
    listWindow_->showMarkers(markers_);
    listWindow_->raise();
    listWindow_->activateWindow();
}

MarkerListWindow* MarkerTools::listWindow() const {
    return listWindow_;
}

void MarkerTools::listChanged() {
    emit changed(markers_);
    // Later, not now: a rename arrives from inside the list's own edit of that row, which a
    // refill now would delete under it.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (listWindow_ && listWindow_->isVisible())
                listWindow_->showMarkers(markers_);
        },
        Qt::QueuedConnection);
}
