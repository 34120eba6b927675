#include "visualisation/SpectrumDrop.h"

#include <QMimeData>
#include <QUrl>

namespace spectrumdrop {

namespace {

bool isLocal(const QUrl& url) {
    if (!url.isValid() || !url.isLocalFile())
        return false;
    // file://otherhost/... names a file on another machine.
    const QString host = url.host();
    return host.isEmpty() || host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0;
}

}  // namespace

bool offersSound(const QMimeData& mime) {
    const QStringList formats = mime.formats();
    for (const QString& format : formats) {
        if (format.startsWith(QLatin1String("audio/"), Qt::CaseInsensitive))
            return true;
    }
    return false;
}

bool offersImage(const QMimeData& mime) {
    return mime.hasImage();
}

QStringList localFilePaths(const QMimeData& mime) {
    QStringList paths;
    if (!mime.hasUrls())
        return paths;
    const QList<QUrl> urls = mime.urls();
    for (const QUrl& url : urls) {
        if (!isLocal(url))
            continue;
        const QString path = url.toLocalFile();
        if (!path.isEmpty())
            paths.append(path);
    }
    return paths;
}

bool admits(const QMimeData& mime) {
    return offersSound(mime) || !localFilePaths(mime).isEmpty();
}

Qt::DropAction answer(Qt::DropActions possible) {
    return possible.testFlag(Qt::CopyAction) ? Qt::CopyAction : Qt::IgnoreAction;
}

DropType preferredType(const QMimeData& mime) {
    if (offersImage(mime))
        return DropType::Image;
    if (!localFilePaths(mime).isEmpty())
        return DropType::FileNames;
    return DropType::None;
}

}  // namespace spectrumdrop
