// Where an export writes: a temporary file in the chosen one's folder, unnamed where the file
// system allows (nothing of it survives a killed export), put in place only once the file is
// complete, with the rules of every user file (AtomicFileWriter): through a symbolic link
// the file it leads to is replaced and the link stays, a folder, a device, a pipe or a
// write-protected file in the way is refused, and the temporary name stays within the name length
// limit. A failed or cut-short export so never leaves a partial file under the chosen name and
// never touches a file that was there before.
//
// Threads: one object, one thread (the exporting one); refusal() on any thread.
#ifndef TONVERA_ENGINE_EXPORT_EXPORTTARGET_H
#define TONVERA_ENGINE_EXPORT_EXPORTTARGET_H

#include <string>

#include "engine/files/AtomicFileWriter.h"

class ExportTarget {
  public:
    explicit ExportTarget(const std::string& finalPath);

    // The sentence for the user when the file cannot be made or kept, `why` being reserve()'s.
    static std::string cannotWrite(const std::string& why);
    // Why `finalPath` cannot take an export (a folder, a device, a pipe, a write-protected file,
    // no such folder), as the sentence the exporter itself would fail with; empty when it can.
    // Creates nothing, so a refused target is known before anything is rendered.
    static std::string refusal(const std::string& finalPath);

    // Removes the named temporaries that killed exports left in the folder over a day ago, then
    // creates the temporary file in the same folder, so the rename cannot cross file systems:
    // unnamed, else hidden with the extension at its end. False with *why set when it cannot be
    // made.
    bool reserve(std::string* why);
    const std::string& temporaryPath() const { return file_.temporaryPath(); }
    // `text` (an encoder's failure) with the unnamed file's /proc name, which means nothing to
    // the user, put as the chosen name.
    std::string withChosenName(std::string text) const;
    // Flushes the finished file to disk and puts it in place under the chosen name, keeping the
    // permissions of a file it replaces. False with *why set; the temporary file is then gone.
    bool commit(std::string* why);
    // Removes the temporary file; the destructor does too unless commit() succeeded.
    void discard() { file_.discard(); }

    // True when both paths name one existing file (also through links or another spelling).
    static bool sameFile(const std::string& a, const std::string& b);

  private:
    std::string finalPath_;
    AtomicFileWriter file_;
};

#endif
