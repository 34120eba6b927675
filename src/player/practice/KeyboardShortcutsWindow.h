// Help › Keyboard Shortcuts: every key of the player window with what it does.
#ifndef TONVERA_PLAYER_PRACTICE_KEYBOARDSHORTCUTSWINDOW_H
#define TONVERA_PLAYER_PRACTICE_KEYBOARDSHORTCUTSWINDOW_H

#include <QDialog>

class KeyboardShortcutsWindow : public QDialog {
    Q_OBJECT

  public:
    explicit KeyboardShortcutsWindow(QWidget* parent = nullptr);
};

#endif
