#include "player/practice/MarkerListWindow.h"

#include <QBoxLayout>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPushButton>
#include <QShortcut>
#include <QTableWidget>

#include "player/DisplayFormat.h"

MarkerListWindow::MarkerListWindow(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("windowMarkers"));
    setWindowTitle(tr("Markers"));
    table_ = new QTableWidget(0, 2, this);
    table_->setObjectName(QStringLiteral("tableMarkers"));
    table_->setHorizontalHeaderLabels({tr("Time"), tr("Name")});
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->verticalHeader()->setVisible(false);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                            QAbstractItemView::SelectedClicked);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* go = buttons->addButton(tr("&Go To"), QDialogButtonBox::ActionRole);
    QPushButton* loop = buttons->addButton(tr("&Loop to Next"), QDialogButtonBox::ActionRole);
    QPushButton* remove = buttons->addButton(tr("&Delete"), QDialogButtonBox::ActionRole);
    buttons->addButton(QDialogButtonBox::Close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table_);
    layout->addWidget(buttons);
    resize(360, 300);

    const auto withSelected = [this](auto signal) {
        return [this, signal] {
            if (const auto index = selected())
                emit(this->*signal)(*index);
        };
    };
    connect(go, &QPushButton::clicked, this, withSelected(&MarkerListWindow::goTo));
    connect(loop, &QPushButton::clicked, this, withSelected(&MarkerListWindow::loopFrom));
    connect(remove, &QPushButton::clicked, this, withSelected(&MarkerListWindow::removed));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    // On the table alone, so Delete in a name being edited deletes a letter, not the marker.
    auto* deleteKey = new QShortcut(QKeySequence::Delete, table_);
    deleteKey->setContext(Qt::WidgetShortcut);
    connect(deleteKey, &QShortcut::activated, this, withSelected(&MarkerListWindow::removed));
    connect(table_, &QTableWidget::cellActivated, this, [this](int row, int column) {
        if (column == 0)
            emit goTo(static_cast<std::size_t>(row));
    });
    connect(table_, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (filling_ || item->column() != 1)
            return;
        emit renamed(static_cast<std::size_t>(item->row()), item->text());
    });
}

void MarkerListWindow::showMarkers(const std::vector<Marker>& markers) {
    const std::optional<std::size_t> kept = selected();
    filling_ = true;
    table_->setRowCount(static_cast<int>(markers.size()));
    for (std::size_t i = 0; i < markers.size(); ++i) {
        const int row = static_cast<int>(i);
        auto* time = new QTableWidgetItem(display::secondsText(markers[i].seconds));
        time->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
        table_->setItem(row, 0, time);
        table_->setItem(row, 1, new QTableWidgetItem(markers[i].name));
    }
    filling_ = false;
    if (kept && *kept < markers.size())
        table_->selectRow(static_cast<int>(*kept));
    QDialog::show();
}

std::optional<std::size_t> MarkerListWindow::selected() const {
    const QList<QTableWidgetItem*> items = table_->selectedItems();
    if (items.isEmpty())
        return std::nullopt;
    return static_cast<std::size_t>(items.first()->row());
}
