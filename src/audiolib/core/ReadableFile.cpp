#include "audiolib/core/ReadableFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace audiolib {

namespace {

void setReason(std::string* reason, std::string text) {
    if (reason) {
        *reason = std::move(text);
    }
}

}  // namespace

std::shared_ptr<const ReadableFile> ReadableFile::open(const std::string& utf8Path,
                                                       std::string* reason) {
    if (utf8Path.empty()) {
        setReason(reason, "no file name given");
        return nullptr;
    }
    if (utf8Path.find('\0') != std::string::npos) {
        setReason(reason, "a file name cannot contain a NUL character");
        return nullptr;
    }
    // O_NONBLOCK makes the open of a FIFO return at once instead of waiting for a writer; for a
    // regular file it changes nothing.
    int fd = -1;
    do {
        fd = ::open(utf8Path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        const int err = errno;
        setReason(reason, err == ENOENT ? "file not found: " + utf8Path
                                        : "cannot open " + utf8Path + ": " + std::strerror(err));
        return nullptr;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        const int err = errno;
        ::close(fd);
        setReason(reason, "cannot open " + utf8Path + ": " + std::strerror(err));
        return nullptr;
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(fd);
        setReason(reason, S_ISDIR(info.st_mode)
                              ? utf8Path + " is a folder, not an audio file"
                              : utf8Path + " is not a regular file (a pipe or a device)");
        return nullptr;
    }
    return std::shared_ptr<const ReadableFile>(new ReadableFile(fd, utf8Path));
}

ReadableFile::~ReadableFile() {
    ::close(fd_);
}

std::int64_t ReadableFile::size() const {
    struct stat info {};
    return ::fstat(fd_, &info) == 0 ? static_cast<std::int64_t>(info.st_size) : -1;
}

std::int64_t ReadableFile::read(std::int64_t offset, void* buffer, std::size_t bytes) const {
    for (;;) {
        const ssize_t n = ::pread(fd_, buffer, bytes, static_cast<off_t>(offset));
        if (n >= 0 || errno != EINTR) {
            return n;
        }
    }
}

}  // namespace audiolib
