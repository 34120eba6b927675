#include "player/practice/KeyboardShortcutsWindow.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QTableWidget>
#include <QVBoxLayout>

#include "player/practice/PracticeKeys.h"

KeyboardShortcutsWindow::KeyboardShortcutsWindow(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("Keyboard Shortcuts"));
    const std::vector<practicekeys::ShortcutLine> lines = practicekeys::shortcutList();
    auto* table = new QTableWidget(static_cast<int>(lines.size()), 2, this);
    table->setHorizontalHeaderLabels({tr("Keys"), tr("Action")});
    table->verticalHeader()->hide();
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionMode(QAbstractItemView::NoSelection);
    table->setFocusPolicy(Qt::NoFocus);
    for (int row = 0; row < static_cast<int>(lines.size()); ++row) {
        table->setItem(row, 0, new QTableWidgetItem(lines[static_cast<size_t>(row)].keys));
        table->setItem(row, 1, new QTableWidgetItem(lines[static_cast<size_t>(row)].action));
    }
    table->resizeColumnsToContents();
    table->horizontalHeader()->setStretchLastSection(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(640, 560);
}
