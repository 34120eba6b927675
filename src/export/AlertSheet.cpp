#include "export/AlertSheet.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEventLoop>
#include <QMainWindow>
#include <QPointer>
#include <QPushButton>
#include <QThread>

#include "logging/Console.h"

SynchronousSheet::SynchronousSheet(QWidget* parent) : QMessageBox(parent) {}

QPushButton* SynchronousSheet::addButton(const QString& text, ButtonRole role) {
    QPushButton* button = QMessageBox::addButton(text, role);
    if (button) {
        added_.append(button);
    }
    return button;
}

QVector<QAbstractButton*> SynchronousSheet::answerOrder() {
    // Buttons that went through QMessageBox's own overloads come after ours, in its order.
    QVector<QAbstractButton*> order;
    for (QAbstractButton* b : added_) {
        if (buttons().contains(b))
            order.append(b);
    }
    for (QAbstractButton* b : buttons()) {
        if (!order.contains(b))
            order.append(b);
    }
    return order;
}

QWidget* SynchronousSheet::mainWindow() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (qobject_cast<QMainWindow*>(w) && w->isVisible())
            return w;
    }
    return QApplication::activeWindow();
}

qint64 SynchronousSheet::runModalSheet() {
    return runModalSheetForWindow(mainWindow());
}

qint64 SynchronousSheet::runModalSheetForWindow(QWidget* window) {
    if (QThread::currentThread() != QCoreApplication::instance()->thread()) {
        console("SynchronousSheet: called off the main thread, no alert shown");
        return kNoAnswer;
    }
    const QVector<QAbstractButton*> order = answerOrder();

    if (window) {
        // A bare setParent() would turn the alert into a child widget inside the window.
        setParent(window, Qt::Dialog | (windowFlags() & ~Qt::WindowType_Mask));
        setWindowModality(Qt::WindowModal);
    } else {
        setWindowModality(Qt::ApplicationModal);
    }

    qint64 answer = kNoAnswer;
    QEventLoop loop;
    // The alert may go with its window while we wait; nothing of it is touched after that.
    QPointer<SynchronousSheet> self(this);
    const auto pressed = connect(this, &QMessageBox::buttonClicked, &loop,
                                 [&answer, &loop, &order](QAbstractButton* button) {
                                     const qsizetype index = order.indexOf(button);
                                     if (index >= 0) {
                                         answer = kFirstButtonAnswer + index;
                                     }
                                     loop.quit();
                                 });
    const auto finished = connect(this, &QDialog::finished, &loop, &QEventLoop::quit);
    const auto gone = connect(this, &QObject::destroyed, &loop, &QEventLoop::quit);

    show();
    raise();
    activateWindow();
    loop.exec(QEventLoop::DialogExec);

    if (!self) {
        return answer;
    }
    disconnect(pressed);
    disconnect(finished);
    disconnect(gone);
    hide();
    return answer;
}
