#include "player/settingsfile/AtomicFileWrite.h"

#include <fcntl.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <cstring>

namespace {

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

}  // namespace

QString writeFileAtomically(const QString& path, const QByteArray& data) {
    const QFileInfo target(path);
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

    // A hidden name of our own beside the target: the rename then stays within one file system.
    QByteArray temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        const QString name =
            QStringLiteral("%1/.%2.tmp-%3")
                .arg(folder, target.fileName())
                .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
        temporary = QFile::encodeName(name);
        fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) {
            return reason(errno);
        }
    }
    if (fd < 0) {
        return reason(EEXIST);
    }

    int error = 0;
    if (!writeAll(fd, data) || ::fsync(fd) != 0) {
        error = errno;
    }
    if (::close(fd) != 0 && error == 0) {
        error = errno;
    }
    if (error == 0 && ::rename(temporary.constData(), QFile::encodeName(path).constData()) != 0) {
        error = errno;
    }
    if (error != 0) {
        ::unlink(temporary.constData());
        return reason(error);
    }

    // Makes the rename itself durable; the content is already safe, so a failure here is not one.
    const int dir =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return QString();
}
