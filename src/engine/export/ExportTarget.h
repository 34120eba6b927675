// Where an export writes: a temporary file beside the chosen one, renamed over it only once the
// file is complete, with the rules of every user file (AtomicFileWriter): through a symbolic link
// the file it leads to is replaced and the link stays, a folder or a write-protected file in the
// way is refused, and the temporary name stays within the name length limit. A failed or
// cut-short export so never leaves a partial file under the chosen name and never touches a
// file that was there before.
//
// Threads: one object, one thread (the exporting one).
#ifndef TONVERA_ENGINE_EXPORT_EXPORTTARGET_H
#define TONVERA_ENGINE_EXPORT_EXPORTTARGET_H

#include <string>

#include "engine/files/AtomicFileWriter.h"

class ExportTarget {
  public:
    explicit ExportTarget(const std::string& finalPath);

    // Creates the temporary file (hidden, in the same folder, so the rename cannot cross file
    // systems; the extension stays at its end). False with *why set when it cannot be made.
    bool reserve(std::string* why);
    const std::string& temporaryPath() const { return file_.temporaryPath(); }
    // Flushes the finished file to disk and renames it over the chosen name, keeping the
    // permissions of a file it replaces. False with *why set; the temporary file is then gone.
    bool commit(std::string* why);
    // Removes the temporary file; the destructor does too unless commit() succeeded.
    void discard() { file_.discard(); }

    // True when both paths name one existing file (also through links or another spelling).
    static bool sameFile(const std::string& a, const std::string& b);

  private:
    AtomicFileWriter file_;
};

#endif
