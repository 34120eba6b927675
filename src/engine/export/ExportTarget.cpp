#include "engine/export/ExportTarget.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

std::string folderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string errnoText() {
    return std::strerror(errno);
}

// The mode a newly created file would get: what the user's umask allows of rw-rw-rw-. Read from
// /proc rather than by setting the umask, which would race with files other threads create.
mode_t defaultFileMode() {
    mode_t mask = 022;
    if (std::FILE* status = std::fopen("/proc/self/status", "re")) {
        char line[256];
        while (std::fgets(line, sizeof line, status)) {
            unsigned int value = 0;
            if (std::sscanf(line, "Umask: %o", &value) == 1) {
                mask = static_cast<mode_t>(value);
                break;
            }
        }
        std::fclose(status);
    }
    return 0666 & ~mask;
}

}  // namespace

ExportTarget::ExportTarget(std::string finalPath) : finalPath_(std::move(finalPath)) {}

ExportTarget::~ExportTarget() {
    if (!committed_)
        discard();
}

bool ExportTarget::reserve(std::string* why) {
    discard();
    // The extension stays at the end: muxers judge a name by it (and warn when it is off).
    const std::string name = nameOf(finalPath_);
    const auto dot = name.find_last_of('.');
    const bool hasExtension = dot != std::string::npos && dot > 0;
    const std::string stem = hasExtension ? name.substr(0, dot) : name;
    const std::string suffix = hasExtension ? name.substr(dot) : std::string();
    const std::string pattern = folderOf(finalPath_) + "/." + stem + ".XXXXXX" + suffix;
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    const int fd = ::mkstemps(buffer.data(), static_cast<int>(suffix.size()));
    if (fd < 0) {
        if (why)
            *why = "cannot create a file in " + folderOf(finalPath_) + ": " + errnoText();
        return false;
    }
    ::close(fd);
    temporaryPath_ = buffer.data();
    return true;
}

bool ExportTarget::commit(std::string* why) {
    auto failWith = [&](const std::string& what) {
        if (why)
            *why = what + ": " + errnoText();
        discard();
        return false;
    };
    if (temporaryPath_.empty()) {
        errno = ENOENT;
        return failWith("nothing was written");
    }
    const int fd = ::open(temporaryPath_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return failWith("cannot reopen " + temporaryPath_);
    // mkstemp made the file private (0600); the result gets what a plain new file would get,
    // or the mode of the file it replaces.
    struct stat existing {};
    const mode_t mode =
        ::stat(finalPath_.c_str(), &existing) == 0 ? existing.st_mode & 07777 : defaultFileMode();
    const bool synced = ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
    const int savedErrno = errno;
    ::close(fd);
    if (!synced) {
        errno = savedErrno;
        return failWith("cannot write " + finalPath_);
    }
    if (::rename(temporaryPath_.c_str(), finalPath_.c_str()) != 0)
        return failWith("cannot replace " + finalPath_);
    temporaryPath_.clear();
    committed_ = true;
    // The rename itself reaches the disk with the folder's entry.
    const int dir = ::open(folderOf(finalPath_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

void ExportTarget::discard() {
    if (!temporaryPath_.empty()) {
        ::unlink(temporaryPath_.c_str());
        temporaryPath_.clear();
    }
}

bool ExportTarget::sameFile(const std::string& a, const std::string& b) {
    struct stat first {};
    struct stat second {};
    return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}
