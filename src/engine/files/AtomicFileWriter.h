// Replacing a user's file so that readers see either the old file or the new one, never a part:
// the new content goes to a temporary file in the target's folder, which is flushed to the disk
// and put in place only when complete. Where the file system allows, that file has no name until
// then (O_TMPFILE): a writer killed half-way leaves nothing behind, since the kernel drops an
// unnamed file with its last descriptor. It is linked under the target's name when that is free,
// else under a hidden name renamed over the target at once. Elsewhere it is a hidden file beside
// the target, renamed over it. Two forms: write given bytes at once, or reserve the temporary
// file, let someone else write it by its path (the export's encoder), then commit or discard it.
//
// The rules, for every writer of a user's file:
// - a symbolic link is written through: the file it leads to is replaced, the link stays (a link
//   that leads nowhere gets its target created);
// - what is not a regular file is refused (a folder, a device, a pipe, a link into /proc such as
//   /dev/stdout), and so is a write-protected file, as a direct write would be;
// - a replaced file keeps its permissions (and, where allowed, its owner); a new file gets the
//   usual ones (0666 less the umask);
// - the temporary name stays within the file system's name length, however long the target's;
// - named temporaries that an earlier, killed write left beside the target are removed once
//   they are old enough that no write of another instance can still be busy with them;
// - success is never reported after a short write or a full disk, and the content is flushed to
//   the disk before the file is put in place.
//
// Threads: one writer, one thread. Writers of different targets may run on different threads.
// An unnamed file's /proc/self/fd name reaches it from any thread of the process, while the
// writer that holds its descriptor lives.
#ifndef TONVERA_ENGINE_FILES_ATOMICFILEWRITER_H
#define TONVERA_ENGINE_FILES_ATOMICFILEWRITER_H

#include <ctime>
#include <string>
#include <string_view>

// Why a write failed: which step, and the system's error number for it.
struct FileWriteFailure {
    enum class Step {
        None,
        NoFolder,        // the target's folder does not exist (error ENOENT)
        NotRegular,      // a folder or another non-regular file is in the way (EISDIR, EINVAL)
        WriteProtected,  // the target may not be written (EACCES)
        Create,          // the temporary file could not be made
        Write,           // writing or flushing the content failed
        Replace,         // putting the file in place (the link or the rename) failed
    };
    Step step = Step::None;
    int error = 0;
    // The target after following links, as far as it was found.
    std::string target;

    bool failed() const { return step != Step::None; }
};

// Which named temporaries that killed writes left in the target's folder a writer removes as it
// reserves its own. Younger ones may be another instance's write in progress.
struct StaleTemporaries {
    // A save takes milliseconds, so a minute untouched is plenty for a settings file.
    std::time_t olderThanSeconds = 60;
    // Those of every target in the folder, not only this target's.
    bool ofEveryTarget = false;
};

class AtomicFileWriter {
  public:
    // `path` is the file to replace or create. `keptSuffix` ends the temporary name too (the
    // export's extension, which muxers judge a name by); empty for none.
    explicit AtomicFileWriter(const std::string& path, std::string keptSuffix = {},
                              StaleTemporaries stale = {});
    // Removes the temporary file unless commit() succeeded.
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    // The bytes form: reserve, write `data`, commit. The failure, or none.
    static FileWriteFailure write(const std::string& path, std::string_view data);

    // The target's rules alone, creating nothing: false with failure() set when the target is
    // refused (not a regular file, write-protected) or its folder is missing.
    bool checkTarget();
    // Checks the target and creates the temporary file. False with failure() set.
    bool reserve();
    // The name to write the temporary file by: a hidden name beside the target, or for an
    // unnamed file its /proc/self/fd name, valid while this writer holds it.
    const std::string& temporaryPath() const { return temporaryPath_; }
    // True when the temporary file has no name of its own (temporaryPath() is under /proc).
    bool unnamed() const { return unnamed_; }
    // The file the commit replaces: the target with every link followed.
    const std::string& targetPath() const { return target_; }
    // Gives the finished temporary file the permissions due, flushes it and puts it in place of
    // the target (links or renames it). False with failure() set; the temporary file is then
    // gone.
    bool commit();
    void discard();
    const FileWriteFailure& failure() const { return failure_; }

  private:
    bool fail(FileWriteFailure::Step step, int error);
    bool writeAll(std::string_view data);
    // False with failure() unset when the folder takes no unnamed files (then a named one).
    bool reserveUnnamed();
    // The permissions due, then flushed to the disk.
    bool prepareContent(int fd);
    bool placeUnnamed();

    std::string given_;
    bool viaProcess_ = false;  // a link on the way to the target was one of /proc's
    std::string target_;
    std::string folder_;
    std::string keptSuffix_;
    StaleTemporaries stale_;
    std::string temporaryPath_;
    // The temporary file, open from reserve() on in the bytes form and for an unnamed file (it
    // lives as long as this descriptor until it is linked).
    int fd_ = -1;
    bool unnamed_ = false;
    bool replacing_ = false;
    unsigned int mode_ = 0;
    unsigned int owner_ = 0;
    unsigned int group_ = 0;
    FileWriteFailure failure_;
};

#endif
