// The real dialogs of the practice settings commands: file dialogs limited to settings files and
// alerts attached to the main window.
#include <QFileDialog>
#include <QPointer>

#include "export/AlertSheet.h"
#include "player/settingsfile/PracticeSettingsCommands.h"

namespace {

// Dialogs live on the heap: their parent window may be closed (and delete them) while they wait.
QString runFileDialog(QWidget* window, const FilePanel& panel, bool save) {
    const QPointer<QFileDialog> dialog(new QFileDialog(window));
    dialog->setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog->setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    const QString pattern = QStringLiteral("*.") + panel.extension;
    dialog->setNameFilter(QStringLiteral("Practice settings (%1)").arg(pattern));
    dialog->setDefaultSuffix(panel.extension);
    if (!panel.title.isEmpty()) {
        dialog->setWindowTitle(panel.title);
    }
    if (!panel.proposedName.isEmpty()) {
        dialog->selectFile(panel.proposedName);
    }
    const int result = dialog->exec();
    if (!dialog) {
        return QString();
    }
    const QString chosen =
        result == QDialog::Accepted ? dialog->selectedFiles().value(0) : QString();
    delete dialog.data();
    return chosen;
}

qint64 runAlert(QWidget* window, const QString& message, const QString& informative,
                const QStringList& buttons) {
    const QPointer<SynchronousSheet> alert(new SynchronousSheet);
    alert->setIcon(QMessageBox::Warning);
    alert->setText(message);
    alert->setInformativeText(informative);
    for (const QString& text : buttons) {
        const bool first = alert->buttons().isEmpty();
        alert->addButton(text, first ? QMessageBox::YesRole : QMessageBox::NoRole);
    }
    const qint64 answer = alert->runModalSheetForWindow(window);
    delete alert.data();
    return answer;
}

}  // namespace

PracticeSettingsDialogs PracticeSettingsDialogs::forWindow(QWidget* window) {
    const QPointer<QWidget> parent(window);
    PracticeSettingsDialogs d;
    d.chooseFileToSave = [parent](const FilePanel& panel) {
        return runFileDialog(parent, panel, true);
    };
    d.chooseFileToOpen = [parent](const FilePanel& panel) {
        return runFileDialog(parent, panel, false);
    };
    d.askYesNo = [parent](const QString& message, const QString& informative) {
        return runAlert(parent, message, informative,
                        {QStringLiteral("Yes"), QStringLiteral("No")});
    };
    d.inform = [parent](const QString& message, const QString& informative) {
        runAlert(parent, message, informative, {QStringLiteral("OK")});
    };
    return d;
}
