// Where an export writes: a temporary file beside the chosen one, renamed over it only once the
// file is complete. A failed or cut-short export so never leaves a partial file under the
// chosen name and never touches a file that was there before.
//
// Threads: one object, one thread (the exporting one).
#ifndef TONVERA_ENGINE_EXPORT_EXPORTTARGET_H
#define TONVERA_ENGINE_EXPORT_EXPORTTARGET_H

#include <string>

class ExportTarget {
  public:
    explicit ExportTarget(std::string finalPath);
    // Removes the temporary file unless commit() succeeded.
    ~ExportTarget();
    ExportTarget(const ExportTarget&) = delete;
    ExportTarget& operator=(const ExportTarget&) = delete;

    // Creates the temporary file (hidden, in the same folder, so the rename cannot cross file
    // systems). False with *why set when the folder cannot take it.
    bool reserve(std::string* why);
    const std::string& temporaryPath() const { return temporaryPath_; }
    // Flushes the finished file to disk and renames it over the chosen name, keeping the
    // permissions of a file it replaces. False with *why set; the temporary file is then gone.
    bool commit(std::string* why);
    void discard();

    // True when both paths name one existing file (also through links or another spelling).
    static bool sameFile(const std::string& a, const std::string& b);

  private:
    std::string finalPath_;
    std::string temporaryPath_;
    bool committed_ = false;
};

#endif
