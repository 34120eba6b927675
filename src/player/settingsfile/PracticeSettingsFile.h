// Practice settings files: an XML property list (version 1.0, UTF-8) whose root dictionary holds
// the practice keys. Files come from other machines and other programs, so reading checks size
// and shape before trusting anything, and a file that is not a settings dictionary is an error,
// never an empty set-up.
#ifndef TONVERA_PLAYER_SETTINGSFILE_PRACTICESETTINGSFILE_H
#define TONVERA_PLAYER_SETTINGSFILE_PRACTICESETTINGSFILE_H

#include <QByteArray>
#include <QString>
#include <optional>

#include "player/settingsfile/PracticeSettings.h"

struct PracticeSettingsReadResult {
    std::optional<PracticeSettings> settings;  // none when the file could not be read
    QString error;                             // why, for the user; empty on success
};

class PracticeSettingsFile {
  public:
    // A settings file is a few hundred bytes; anything much larger is not one.
    static constexpr qint64 kMaximumXmlSize = 1024 * 1024;
    // Binary property lists are parsed recursively by the library: kept small enough that no
    // nesting they can hold exhausts the stack.
    static constexpr qint64 kMaximumBinarySize = 64 * 1024;
    // Nesting of XML elements accepted; a settings file needs three.
    static constexpr int kMaximumXmlDepth = 32;

    // Reads a file. Missing keys read as 0 (the music file as none), keys of other names are
    // ignored. Numbers are taken whatever their stored type: integers, reals, booleans, and
    // strings as the number their text begins with. A value of another type reads as missing.
    static PracticeSettingsReadResult read(const QString& path);
    // The same for the file's bytes (XML or binary property list).
    static PracticeSettingsReadResult parse(const QByteArray& data);

    // Writes atomically: a temporary file in the same folder, renamed over the target only when
    // everything was written, so a failed save leaves any previous file as it was. Returns the
    // reason for the user when it failed, an empty text on success.
    static QString write(const QString& path, const PracticeSettings& settings);
    // The XML property list for the settings. A missing music file or BPM writes no key.
    static QByteArray toXml(const PracticeSettings& settings);
};

#endif
