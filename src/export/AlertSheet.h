// An alert shown window-modal on a window that still answers in place, like an application-modal
// alert: the caller sets texts and buttons, then gets the pressed button's code as the return
// value while the alert stays attached to its window.
//
// The answer is 1000 plus the index of the pressed button in the order the buttons were added
// (the first 1000, the second 1001, and so on), whatever order the platform style lays them out
// in.
//
// Threads: main thread only; a call from another thread answers kNoAnswer at once.
#ifndef TONVERA_EXPORT_ALERTSHEET_H
#define TONVERA_EXPORT_ALERTSHEET_H

#include <QMessageBox>
#include <QString>
#include <QVector>

class QPushButton;

class SynchronousSheet : public QMessageBox {
    Q_OBJECT

  public:
    static constexpr qint64 kFirstButtonAnswer = 1000;
    // The wait ended without a pressed button: the window went away or the application is
    // quitting. Callers that test for a particular button read it as "not that button".
    static constexpr qint64 kNoAnswer = 0;

    explicit SynchronousSheet(QWidget* parent = nullptr);

    // Adds a button at the end of the answer order. The role only places the button and says
    // what Escape and Return do (a single Reject/No role button answers Escape).
    QPushButton* addButton(const QString& text, ButtonRole role = ActionRole);
    using QMessageBox::addButton;

    // Shows the alert window-modal on `window` and returns once a button is pressed, with the
    // alert hidden again. A null window makes it application-modal.
    qint64 runModalSheetForWindow(QWidget* window);
    // The same on the application's main window (the first visible QMainWindow, else the active
    // window).
    qint64 runModalSheet();

    // The window runModalSheet() attaches to; null when there is none.
    static QWidget* mainWindow();

  private:
    QVector<QAbstractButton*> answerOrder();

    QVector<QAbstractButton*> added_;
};

#endif
