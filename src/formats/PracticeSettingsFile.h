// Practice settings files: an XML property list (version 1.0, UTF-8) whose root dictionary holds
// the practice keys. Files come from other machines and other programs, so reading checks size
// and shape before trusting anything, and a file that is not a settings dictionary is an error,
// never an empty set-up.
#ifndef TONVERA_FORMATS_PRACTICESETTINGSFILE_H
#define TONVERA_FORMATS_PRACTICESETTINGSFILE_H

#include <QByteArray>
#include <QString>
#include <optional>

#include "formats/PracticeSettings.h"

struct PracticeSettingsReadResult {
    std::optional<PracticeSettings> settings;  // none when the file could not be read
    QString error;                             // why, for the user; empty on success
};

class PracticeSettingsFile {
  public:
    // A settings file is a few hundred bytes; anything much larger is not one.
    static constexpr qint64 kMaximumXmlSize = 1024 * 1024;
    static constexpr qint64 kMaximumBinarySize = 64 * 1024;
    // Nesting accepted (XML elements, or binary containers); a settings file needs three. The
    // library parses binary lists and frees every tree recursively.
    static constexpr int kMaximumDepth = 32;
    // Values a binary list may expand to: the library copies an object for every reference to
    // it, so a few hundred bytes could otherwise ask for billions. A settings file has 17.
    static constexpr int kMaximumBinaryNodes = 65536;

    // Reads a file. Missing keys read as 0 (the music file as none), keys of other names are
    // ignored. Numbers are taken whatever their stored type: integers, reals, booleans, and
    // strings as the number their text begins with. A value of another type reads as missing;
    // a real that is not finite or reaches 2^63 (which could not be written) as NaN.
    static PracticeSettingsReadResult read(const QString& path);
    // The same for the file's bytes (XML or binary property list).
    static PracticeSettingsReadResult parse(const QByteArray& data);

    // Writes atomically: a temporary file in the same folder, renamed over the target only when
    // everything was written, so a failed save leaves any previous file as it was. Returns the
    // reason for the user when it failed, an empty text on success.
    static QString write(const QString& path, const PracticeSettings& settings);
    // The XML property list for the settings. A missing music file or BPM writes no key. Empty
    // when the settings cannot be stored (see unstorable).
    static QByteArray toXml(const PracticeSettings& settings);
    // Why the settings cannot be written faithfully, for the user; empty when they can. A
    // music path with a NUL or text that is not valid UTF-8 would read back as another path,
    // and a real that is not finite or reaches 2^63 cannot be written.
    static QString unstorable(const PracticeSettings& settings);
};

#endif
