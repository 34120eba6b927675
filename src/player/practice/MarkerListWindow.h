// The small window that lists the markers: their times and names, a name edited in place
// (double-click or F2), and buttons to go to one, loop from it to the next, or delete it.
#ifndef TONVERA_PLAYER_PRACTICE_MARKERLISTWINDOW_H
#define TONVERA_PLAYER_PRACTICE_MARKERLISTWINDOW_H

#include <QDialog>
#include <optional>
#include <vector>

#include "formats/PracticeSetup.h"

class QTableWidget;

class MarkerListWindow : public QDialog {
    Q_OBJECT

  public:
    explicit MarkerListWindow(QWidget* parent);
    void showMarkers(const std::vector<Marker>& markers);
    std::optional<std::size_t> selected() const;
    QTableWidget* table() const { return table_; }

  signals:
    void goTo(std::size_t index);
    void loopFrom(std::size_t index);
    void renamed(std::size_t index, const QString& name);
    void removed(std::size_t index);

  private:
    QTableWidget* table_ = nullptr;
    bool filling_ = false;
};

#endif
