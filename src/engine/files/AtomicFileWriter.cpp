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
#include <memory>
#include <random>
#include <vector>

namespace {

// A temporary file of ours untouched this long belongs to a write that never finished (a save
// takes milliseconds, and an export keeps writing its file); younger ones may be another
// instance's write in progress.
constexpr std::time_t kStaleSeconds = 60;
constexpr char kTemporaryMark[] = ".tmp-";
constexpr std::size_t kRandomDigits = 8;
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
// link in place. A loop is left for the rename to fail on and say why.
std::string followLinks(const std::string& path) {
    std::string current = absolutePath(path);
    for (int hops = 0; hops < kMostLinks; ++hops) {
        struct stat info {};
        if (::lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
            return current;
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

bool isOurTemporary(const char* entry, const std::string& prefix, const std::string& suffix) {
    const std::string_view name(entry);
    if (name.size() != prefix.size() + kRandomDigits + suffix.size() ||
        name.substr(0, prefix.size()) != prefix ||
        name.substr(prefix.size() + kRandomDigits) != suffix) {
        return false;
    }
    return std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix.size()),
                       name.begin() + static_cast<std::ptrdiff_t>(prefix.size() + kRandomDigits),
                       [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; });
}

// Temporary files of ours that a crashed write left beside the target: regular files of this
// user, named as we name them, not touched for a while.
void removeStaleTemporaries(const std::string& folder, const std::string& prefix,
                            const std::string& suffix) {
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir)
        return;
    const std::time_t now = std::time(nullptr);
    while (const dirent* entry = ::readdir(dir.get())) {
        if (!isOurTemporary(entry->d_name, prefix, suffix))
            continue;
        struct stat info {};
        if (::fstatat(::dirfd(dir.get()), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(info.st_mode) && info.st_uid == ::geteuid() &&
            now - info.st_mtime >= kStaleSeconds) {
            ::unlinkat(::dirfd(dir.get()), entry->d_name, 0);
        }
    }
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

AtomicFileWriter::AtomicFileWriter(const std::string& path, std::string keptSuffix)
    : target_(followLinks(path)), folder_(folderPart(target_)), keptSuffix_(std::move(keptSuffix)) {
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

bool AtomicFileWriter::reserve() {
    discard();
    failure_ = FileWriteFailure{};
    failure_.target = target_;
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

    // A hidden name of our own beside the target: the rename then stays within one file system.
    // An absurdly long suffix is not kept: the name's length limit comes first.
    if (keptSuffix_.size() > 32)
        keptSuffix_.clear();
    const std::string prefix = temporaryPrefix(folder_, namePart(target_), keptSuffix_.size());
    removeStaleTemporaries(folder_, prefix, keptSuffix_);
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

bool AtomicFileWriter::commit() {
    if (temporaryPath_.empty())
        return fail(FileWriteFailure::Step::Write, ENOENT);
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
    ::close(fd);
    if (error != 0)
        return fail(FileWriteFailure::Step::Write, error);
    if (::rename(temporaryPath_.c_str(), target_.c_str()) != 0)
        return fail(FileWriteFailure::Step::Replace, errno);
    temporaryPath_.clear();
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
        ::close(fd_);
        fd_ = -1;
    }
    if (!temporaryPath_.empty()) {
        ::unlink(temporaryPath_.c_str());
        temporaryPath_.clear();
    }
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
