// The two menu commands for practice settings files: saving the current set-up and opening a
// saved one, with the file panels, the question whether the stored music should replace the open
// music, and the messages when something fails. Dialogs are injected, so the commands run in
// tests without any window.
//
// Threads: main thread only.
#ifndef TONVERA_PLAYER_SETTINGSFILE_PRACTICESETTINGSCOMMANDS_H
#define TONVERA_PLAYER_SETTINGSFILE_PRACTICESETTINGSCOMMANDS_H

#include <QString>
#include <functional>

#include "formats/PracticeSettings.h"
#include "player/settingsfile/PracticeControls.h"

class QWidget;

// What a file panel is asked to show.
struct FilePanel {
    QString title;         // empty: the panel's own
    QString proposedName;  // empty: none
    QString extension;     // the only extension offered, without the dot
};

struct PracticeSettingsDialogs {
    // The chosen file's path; an empty text when the user cancelled.
    std::function<QString(const FilePanel&)> chooseFileToSave;
    std::function<QString(const FilePanel&)> chooseFileToOpen;
    // Shows a warning alert with the buttons "Yes" then "No" and returns the alert's answer
    // (1000 for "Yes", 1001 for "No").
    std::function<qint64(const QString& message, const QString& informative)> askYesNo;
    // Tells the user something went wrong; returns when they have read it.
    std::function<void(const QString& message, const QString& informative)> inform;

    // The real ones: file dialogs and window-modal alerts on `window`.
    static PracticeSettingsDialogs forWindow(QWidget* window);
};

class PracticeSettingsCommands {
  public:
    // Told about each settings file that was saved or opened, for the recent files.
    using FileUsed = std::function<void(const QString& path)>;

    PracticeSettingsCommands(PracticeControls& controls, PracticeSettingsDialogs dialogs,
                             FileUsed fileUsed = {});

    // Saves the current set-up to a file the user chooses. Without open music nothing is saved
    // and the user is told why; a failed write is reported and leaves any previous file intact.
    void menuSaveSettingsFile();
    // Opens a settings file the user chooses. With music open, asks whether the stored music
    // should replace it. A file that cannot be read, or is not a settings file, is reported and
    // changes nothing.
    void menuOpenSettingsFile();
    // What menuOpenSettingsFile does once the panel has given it `path`.
    void openSettingsFile(const QString& path);
    // Applies settings read from a file (see PracticeSettingsApplier::apply).
    void loadSettingsFile(const PracticeSettings& settings, bool overloadMusic);

    // The file chosen in the save panel with the settings extension, added when the user typed
    // another one or none.
    static QString withSettingsExtension(const QString& path);

  private:
    PracticeControls& controls_;
    PracticeSettingsDialogs dialogs_;
    FileUsed fileUsed_;
};

#endif
