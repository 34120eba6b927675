#include "player/OpenFailure.h"

#include <QCoreApplication>
#include <QDir>

#include "audiolib/audiolib.h"

QString openFailureText(const QString& path, int errorCode) {
    const auto tr = [](const char* text) {
        return QCoreApplication::translate("OpenFailure", text);
    };
    if (path.isEmpty()) {
        return tr("No music file was named, so none could be opened.");
    }
    const QString file = QDir::toNativeSeparators(path);
    switch (errorCode) {
        case BASS_ERROR_FILEOPEN:
            return tr("\"%1\" could not be read: it does not exist, or you may not read it.")
                .arg(file);
        case BASS_ERROR_FILEFORM:
            return tr("\"%1\" is not audio that Tonvera can play, or it is damaged.").arg(file);
        case BASS_ERROR_FORMAT:
            return tr("\"%1\" has a channel layout or sample rate that Tonvera cannot play.")
                .arg(file);
        case BASS_ERROR_CODEC:
            return tr("\"%1\" needs a decoder that this system does not have.").arg(file);
        case BASS_ERROR_MEM:
            return tr("There was not enough memory to open \"%1\".").arg(file);
        case BASS_ERROR_INIT:
        case BASS_ERROR_DRIVER:
            return tr("\"%1\" cannot be opened because no sound output is available.").arg(file);
        default:
            return tr("\"%1\" could not be opened (error code %2).").arg(file).arg(errorCode);
    }
}
