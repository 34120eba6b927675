#include "engine/files/AtomicFileWriter.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <functional>
#include <memory>
#include <random>
#include <vector>

namespace {

constexpr char kTemporaryMark[] = ".tmp-";
constexpr std::size_t kRandomDigits = 8;
// A longer extension is not kept in the temporary name: the name's length limit comes first.
constexpr std::size_t kLongestKeptSuffix = 32;
constexpr int kMostLinks = 40;  // as the kernel's own limit on a path's links

std::string folderPart(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string namePart(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string absolutePath(const std::string& path) {
    if (!path.empty() && path.front() == '/')
        return path;
    std::vector<char> cwd(PATH_MAX);
    if (::getcwd(cwd.data(), cwd.size()) == nullptr)
        return path;
    return std::string(cwd.data()) + "/" + path;
}

// Writing through a symbolic link replaces the file it leads to, as editors do, and leaves the
// link in place. A loop is left for the rename to fail on and say why. `*viaProcess` tells whether
// a link on the way was one of /proc's, which lead to a process's open files.
std::string followLinks(const std::string& path, bool* viaProcess) {
    std::string current = absolutePath(path);
    for (int hops = 0; hops < kMostLinks; ++hops) {
        struct stat info {};
        if (::lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
            return current;
        if (current.rfind("/proc/", 0) == 0)
            *viaProcess = true;
        std::vector<char> target(PATH_MAX + 1);
        const ssize_t length = ::readlink(current.c_str(), target.data(), PATH_MAX);
        if (length <= 0)
            return current;
        const std::string next(target.data(), static_cast<std::size_t>(length));
        current = next.front() == '/' ? next : folderPart(current) + "/" + next;
    }
    return current;
}

// The temporary name's first part: a dot, then as much of the target's name as the file
// system's limit leaves room for beside the mark, the random digits and the kept suffix.
std::string temporaryPrefix(const std::string& folder, const std::string& name,
                            std::size_t suffixLength) {
    long limit = ::pathconf(folder.c_str(), _PC_NAME_MAX);
    if (limit <= 0)
        limit = NAME_MAX;
    const long room = limit - 1 - static_cast<long>(sizeof(kTemporaryMark) - 1) -
                      static_cast<long>(kRandomDigits) - static_cast<long>(suffixLength);
    return '.' + name.substr(0, static_cast<std::size_t>(std::max(room, 1L))) + kTemporaryMark;
}

bool hexDigits(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; });
}

bool isThisTargetsTemporary(std::string_view name, const std::string& prefix,
                            const std::string& suffix) {
    return name.size() == prefix.size() + kRandomDigits + suffix.size() &&
           name.substr(0, prefix.size()) == prefix &&
           name.substr(prefix.size() + kRandomDigits) == suffix &&
           hexDigits(name.substr(prefix.size(), kRandomDigits));
}

// Any target's temporary as we name them: a dot, a name, the mark, the digits, then nothing or
// an extension no longer than any we keep.
bool isAnyTargetsTemporary(std::string_view name) {
    const std::size_t markLength = sizeof(kTemporaryMark) - 1;
    const auto mark = name.rfind(kTemporaryMark);
    if (name.empty() || name.front() != '.' || mark == std::string_view::npos || mark < 2 ||
        name.size() < mark + markLength + kRandomDigits) {
        return false;
    }
    const std::string_view suffix = name.substr(mark + markLength + kRandomDigits);
    return hexDigits(name.substr(mark + markLength, kRandomDigits)) &&
           (suffix.empty() || (suffix.front() == '.' && suffix.size() <= kLongestKeptSuffix));
}

// Temporary files of ours that a killed write left in the folder: regular files of this user,
// named as we name them, not touched for a while.
void removeStaleTemporaries(const std::string& folder,
                            const std::function<bool(std::string_view)>& ours,
                            std::time_t staleSeconds) {
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir)
        return;
    const std::time_t now = std::time(nullptr);
    while (const dirent* entry = ::readdir(dir.get())) {
        if (!ours(entry->d_name))
            continue;
        struct stat info {};
        if (::fstatat(::dirfd(dir.get()), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(info.st_mode) && info.st_uid == ::geteuid() &&
            now - info.st_mtime >= staleSeconds) {
            ::unlinkat(::dirfd(dir.get()), entry->d_name, 0);
        }
    }
}

// The name under which the kernel reaches an open descriptor's file, also an unnamed one.
std::string descriptorPath(int fd) {
    return "/proc/self/fd/" + std::to_string(fd);
}

// Links the unnamed file open as `fd` to `path`: linkat() of the descriptor's /proc name is what
// an unprivileged process may do (AT_EMPTY_PATH asks for a capability most users lack).
bool linkDescriptor(int fd, const std::string& path) {
    return ::linkat(AT_FDCWD, descriptorPath(fd).c_str(), AT_FDCWD, path.c_str(),
                    AT_SYMLINK_FOLLOW) == 0;
}

std::string randomDigits() {
    static thread_local std::mt19937 generator{std::random_device{}()};
    static constexpr char kHex[] = "0123456789abcdef";
    std::string digits(kRandomDigits, '0');
    for (char& digit : digits)
        digit = kHex[generator() % 16];
    return digits;
}

}  // namespace

AtomicFileWriter::AtomicFileWriter(const std::string& path, std::string keptSuffix,
                                   StaleTemporaries stale)
    : given_(path),
      target_(followLinks(path, &viaProcess_)),
      folder_(folderPart(target_)),
      keptSuffix_(std::move(keptSuffix)),
      stale_(stale) {
    failure_.target = target_;
}

AtomicFileWriter::~AtomicFileWriter() {
    discard();
}

bool AtomicFileWriter::fail(FileWriteFailure::Step step, int error) {
    failure_.step = step;
    failure_.error = error;
    discard();
    return false;
}

bool AtomicFileWriter::checkTarget() {
    failure_ = FileWriteFailure{};
    failure_.target = target_;
    // The kernel's own view of the name first: a link into /proc (/dev/stdout) leads to whatever
    // the process has open, a terminal or a pipe, which the links followed by name cannot show.
    struct stat given {};
    if (::stat(given_.c_str(), &given) == 0 && !S_ISREG(given.st_mode)) {
        failure_.target = given_;
        return fail(FileWriteFailure::Step::NotRegular, S_ISDIR(given.st_mode) ? EISDIR : EINVAL);
    }
    // Such a link leads to a process's open file even when that is a regular one: replacing it
    // would write over whatever the shell redirected the output to.
    if (viaProcess_) {
        failure_.target = given_;
        return fail(FileWriteFailure::Step::NotRegular, EINVAL);
    }
    struct stat folder {};
    if (::stat(folder_.c_str(), &folder) != 0 || !S_ISDIR(folder.st_mode))
        return fail(FileWriteFailure::Step::NoFolder, ENOENT);
    struct stat old {};
    replacing_ = ::stat(target_.c_str(), &old) == 0;
    if (replacing_) {
        if (!S_ISREG(old.st_mode))
            return fail(FileWriteFailure::Step::NotRegular, S_ISDIR(old.st_mode) ? EISDIR : EINVAL);
        // Replacing by rename would get around a write-protected file; writing into it would not.
        if (::access(target_.c_str(), W_OK) != 0)
            return fail(FileWriteFailure::Step::WriteProtected, EACCES);
        mode_ = old.st_mode & 07777;
        owner_ = old.st_uid;
        group_ = old.st_gid;
    }
    return true;
}

bool AtomicFileWriter::reserve() {
    discard();
    if (!checkTarget())
        return false;

    // A hidden name of our own beside the target: the rename then stays within one file system.
    if (keptSuffix_.size() > kLongestKeptSuffix)
        keptSuffix_.clear();
    const std::string prefix = temporaryPrefix(folder_, namePart(target_), keptSuffix_.size());
    if (stale_.ofEveryTarget) {
        removeStaleTemporaries(folder_, isAnyTargetsTemporary, stale_.olderThanSeconds);
    } else {
        removeStaleTemporaries(
            folder_,
            [&](std::string_view name) {
                return isThisTargetsTemporary(name, prefix, keptSuffix_);
            },
            stale_.olderThanSeconds);
    }
    if (reserveUnnamed())
        return true;
    if (failure_.failed())
        return false;
    for (int attempt = 0; attempt < 16 && fd_ < 0; ++attempt) {
        const std::string candidate = folder_ + "/" + prefix + randomDigits() + keptSuffix_;
        fd_ = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ >= 0)
            temporaryPath_ = candidate;
        else if (errno != EEXIST)
            return fail(FileWriteFailure::Step::Create, errno);
    }
    if (fd_ < 0)
        return fail(FileWriteFailure::Step::Create, EEXIST);
    return true;
}

bool AtomicFileWriter::writeAll(std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd_, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

bool AtomicFileWriter::reserveUnnamed() {
    fd_ = ::open(folder_.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd_ < 0) {
        // The file system or the kernel has no unnamed files: a named temporary file it is.
        if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)
            return false;
        return fail(FileWriteFailure::Step::Create, errno);
    }
    // The encoder opens its output by name, and the commit links by that name too: without
    // /proc the file could be neither written nor kept.
    const std::string byName = descriptorPath(fd_);
    if (::access(byName.c_str(), W_OK) != 0) {
        ::close(fd_);
        fd_ = -1;
        return false;
    }
    unnamed_ = true;
    temporaryPath_ = byName;
    return true;
}

bool AtomicFileWriter::prepareContent(int fd) {
    int error = 0;
    if (replacing_) {
        // The new file keeps the old one's permissions (a private file stays private) and, where
        // allowed, its owner and group.
        if (::fchmod(fd, static_cast<mode_t>(mode_)) != 0)
            error = errno;
        if (error == 0 && (owner_ != ::geteuid() || group_ != ::getegid())) {
            [[maybe_unused]] const int ignored = ::fchown(fd, owner_, group_);
        }
    }
    if (error == 0 && ::fsync(fd) != 0)
        error = errno;
    if (error != 0)
        return fail(FileWriteFailure::Step::Write, error);
    return true;
}

bool AtomicFileWriter::placeUnnamed() {
    // A name that did not exist is simply linked: the file appears complete, in one step.
    if (!replacing_ && linkDescriptor(fd_, target_))
        return true;
    if (!replacing_ && errno != EEXIST)
        return fail(FileWriteFailure::Step::Replace, errno);
    // linkat() never replaces a name, so the file gets a hidden name of its own for the moment
    // the rename over the target takes.
    const std::string prefix = temporaryPrefix(folder_, namePart(target_), keptSuffix_.size());
    for (int attempt = 0; attempt < 16; ++attempt) {
        const std::string hidden = folder_ + "/" + prefix + randomDigits() + keptSuffix_;
        if (!linkDescriptor(fd_, hidden)) {
            if (errno == EEXIST)
                continue;
            return fail(FileWriteFailure::Step::Replace, errno);
        }
        if (::rename(hidden.c_str(), target_.c_str()) != 0) {
            const int error = errno;
            ::unlink(hidden.c_str());
            return fail(FileWriteFailure::Step::Replace, error);
        }
        return true;
    }
    return fail(FileWriteFailure::Step::Replace, EEXIST);
}

bool AtomicFileWriter::commit() {
    if (temporaryPath_.empty())
        return fail(FileWriteFailure::Step::Write, ENOENT);
    if (unnamed_) {
        // Flushing the inode covers what any descriptor of it wrote, the encoder's own included.
        if (!prepareContent(fd_) || !placeUnnamed())
            return false;
        discard();
    } else {
        // Closing the descriptor the bytes went through reports a write the kernel deferred.
        if (fd_ >= 0) {
            const int closed = ::close(fd_);
            fd_ = -1;
            if (closed != 0)
                return fail(FileWriteFailure::Step::Write, errno);
        }
        // Opened again by name: a writer that went by the path wrote this file, whatever it did.
        const int fd = ::open(temporaryPath_.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return fail(FileWriteFailure::Step::Write, errno);
        const bool prepared = prepareContent(fd);
        ::close(fd);
        if (!prepared)
            return false;
        if (::rename(temporaryPath_.c_str(), target_.c_str()) != 0)
            return fail(FileWriteFailure::Step::Replace, errno);
        temporaryPath_.clear();
    }
    // Makes the rename itself durable; the content is already safe, so a failure here is not one.
    const int dir = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

void AtomicFileWriter::discard() {
    if (fd_ >= 0) {
        // An unnamed file goes with its last descriptor; there is no name to remove.
        ::close(fd_);
        fd_ = -1;
    }
    if (!temporaryPath_.empty() && !unnamed_)
        ::unlink(temporaryPath_.c_str());
    temporaryPath_.clear();
    unnamed_ = false;
}

FileWriteFailure AtomicFileWriter::write(const std::string& path, std::string_view data) {
    AtomicFileWriter writer(path);
    if (writer.reserve()) {
        if (!writer.writeAll(data))
            writer.fail(FileWriteFailure::Step::Write, errno);
        else
            writer.commit();
    }
    return writer.failure();
}
