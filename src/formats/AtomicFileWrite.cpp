#include "formats/AtomicFileWrite.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <memory>

namespace {

// A temporary file of ours untouched this long belongs to a save that never finished (a save
// takes milliseconds); younger ones may be another instance's save in progress.
constexpr std::time_t kStaleSeconds = 60;
constexpr char kTemporaryMark[] = ".tmp-";
constexpr int kRandomDigits = 8;

QString reason(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

bool writeAll(int fd, const QByteArray& data) {
    const char* p = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, static_cast<size_t>(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        left -= n;
    }
    return true;
}

// Saving through a symbolic link replaces the file it points to, as editors do, and leaves the
// link in place. A link that leads nowhere gets its target created.
QString resolveLinks(const QString& path) {
    QString current = QFileInfo(path).absoluteFilePath();
    for (int hops = 0; hops < 40; ++hops) {
        const QFileInfo info(current);
        if (!info.isSymLink())
            return current;
        current = info.symLinkTarget();  // absolute, one level resolved
        if (current.isEmpty())
            return QFileInfo(path).absoluteFilePath();
    }
    return current;  // a loop: the rename fails and says why
}

// The temporary name's first part: a dot, then as much of the target's name as the file
// system's limit leaves room for beside the mark and the random digits.
QByteArray temporaryPrefix(const QByteArray& folder, const QByteArray& name) {
    long limit = ::pathconf(folder.constData(), _PC_NAME_MAX);
    if (limit <= 0)
        limit = NAME_MAX;
    const qsizetype room = static_cast<qsizetype>(limit) - 1 -
                           static_cast<qsizetype>(sizeof(kTemporaryMark) - 1) - kRandomDigits;
    return '.' + name.left(std::max<qsizetype>(room, 1)) + kTemporaryMark;
}

bool isOurTemporary(const char* entry, const QByteArray& prefix) {
    const std::size_t length = std::strlen(entry);
    if (length != static_cast<std::size_t>(prefix.size()) + kRandomDigits ||
        std::strncmp(entry, prefix.constData(), static_cast<std::size_t>(prefix.size())) != 0) {
        return false;
    }
    for (std::size_t i = static_cast<std::size_t>(prefix.size()); i < length; ++i) {
        if (!std::isxdigit(static_cast<unsigned char>(entry[i])))
            return false;
    }
    return true;
}

// Temporary files of ours that a crashed save left beside the target: regular files of this
// user, named as we name them, not touched for a while.
void removeStaleTemporaries(const QByteArray& folder, const QByteArray& prefix) {
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.constData()), ::closedir);
    if (!dir)
        return;
    const std::time_t now = std::time(nullptr);
    while (const dirent* entry = ::readdir(dir.get())) {
        if (!isOurTemporary(entry->d_name, prefix))
            continue;
        struct stat info {};
        if (::fstatat(::dirfd(dir.get()), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(info.st_mode) && info.st_uid == ::geteuid() &&
            now - info.st_mtime >= kStaleSeconds) {
            ::unlinkat(::dirfd(dir.get()), entry->d_name, 0);
        }
    }
}

}  // namespace

QString writeFileAtomically(const QString& path, const QByteArray& data) {
    const QString resolved = resolveLinks(path);
    const QFileInfo target(resolved);
    const QString folder = target.absolutePath();
    if (!QFileInfo(folder).isDir()) {
        return QStringLiteral("The folder %1 does not exist.").arg(folder);
    }
    if (target.isDir()) {
        return QStringLiteral("A folder of that name is in the way.");
    }
    // Replacing by rename would get around a write-protected file; writing into it would not.
    if (target.exists() && !target.isWritable()) {
        return QStringLiteral("The file is write-protected.");
    }
    const QByteArray folderName = QFile::encodeName(folder);
    const QByteArray targetName = QFile::encodeName(resolved);
    struct stat old {};
    const bool replacing = ::stat(targetName.constData(), &old) == 0 && S_ISREG(old.st_mode);

    // A hidden name of our own beside the target: the rename then stays within one file system.
    const QByteArray prefix = temporaryPrefix(folderName, QFile::encodeName(target.fileName()));
    removeStaleTemporaries(folderName, prefix);
    QByteArray temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        temporary = folderName + '/' + prefix +
                    QByteArray::number(QRandomGenerator::global()->generate(), 16)
                        .rightJustified(kRandomDigits, '0');
        fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) {
            return reason(errno);
        }
    }
    if (fd < 0) {
        return reason(EEXIST);
    }

    int error = 0;
    if (replacing) {
        // The new file keeps the old one's permissions (a private file stays private) and, where
        // allowed, its owner and group.
        if (::fchmod(fd, old.st_mode & 07777) != 0) {
            error = errno;
        }
        if (error == 0 && (old.st_uid != ::geteuid() || old.st_gid != ::getegid())) {
            [[maybe_unused]] const int ignored = ::fchown(fd, old.st_uid, old.st_gid);
        }
    }
    if (error == 0 && (!writeAll(fd, data) || ::fsync(fd) != 0)) {
        error = errno;
    }
    if (::close(fd) != 0 && error == 0) {
        error = errno;
    }
    if (error == 0 && ::rename(temporary.constData(), targetName.constData()) != 0) {
        error = errno;
    }
    if (error != 0) {
        ::unlink(temporary.constData());
        return reason(error);
    }

    // Makes the rename itself durable; the content is already safe, so a failure here is not one.
    const int dir = ::open(folderName.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return QString();
}
