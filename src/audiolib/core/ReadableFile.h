// The one readability check of the audio layer, and the descriptor that is then read from.
//
// Opening a FIFO for reading waits for a writer, and a device may never end: the path is opened
// once, with O_NONBLOCK, and its type is decided by fstat on that very descriptor, so a path that
// changes between a check and an open cannot slip a pipe in. Everything that decodes the file
// afterwards reads through this descriptor; the path is never opened a second time.
//
// Thread-safe: read() uses pread, so several readers may share one file.
#ifndef TONVERA_AUDIOLIB_CORE_READABLEFILE_H
#define TONVERA_AUDIOLIB_CORE_READABLEFILE_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace audiolib {

class ReadableFile {
  public:
    // A regular file opened for reading; nullptr when the path cannot be read as one (missing,
    // a folder, a FIFO, a device, no permission, a NUL in the name), with *reason (if given) in
    // words a user can act on. Never blocks.
    static std::shared_ptr<const ReadableFile> open(const std::string& utf8Path,
                                                    std::string* reason);

    ~ReadableFile();
    ReadableFile(const ReadableFile&) = delete;
    ReadableFile& operator=(const ReadableFile&) = delete;

    const std::string& path() const { return path_; }
    // The size now (a file may grow while it is read); -1 when it cannot be told.
    std::int64_t size() const;
    // Up to `bytes` from `offset`: the count read, 0 at the end, -1 on an error (errno set).
    std::int64_t read(std::int64_t offset, void* buffer, std::size_t bytes) const;

  private:
    ReadableFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}

    int fd_;
    std::string path_;
};

}  // namespace audiolib

#endif
