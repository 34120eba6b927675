#include "formats/AtomicFileWrite.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <string_view>

#include "engine/files/AtomicFileWriter.h"

QString writeFileAtomically(const QString& path, const QByteArray& data) {
    const FileWriteFailure failure = AtomicFileWriter::write(
        QFile::encodeName(path).toStdString(),
        std::string_view(data.constData(), static_cast<std::size_t>(data.size())));
    switch (failure.step) {
        case FileWriteFailure::Step::None:
            return QString();
        case FileWriteFailure::Step::NoFolder:
            return QStringLiteral("The folder %1 does not exist.")
                .arg(QFileInfo(QFile::decodeName(QByteArray::fromStdString(failure.target)))
                         .absolutePath());
        case FileWriteFailure::Step::NotRegular:
            if (failure.error == EISDIR)
                return QStringLiteral("A folder of that name is in the way.");
            break;
        case FileWriteFailure::Step::WriteProtected:
            return QStringLiteral("The file is write-protected.");
        default:
            break;
    }
    return QString::fromLocal8Bit(std::strerror(failure.error));
}
