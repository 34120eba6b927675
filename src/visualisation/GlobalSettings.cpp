#include "visualisation/GlobalSettings.h"

#include <QSettings>
#include <limits>

#include "logging/Console.h"

GlobalSettings& GlobalSettings::sharedSingleton() {
    // Made once, under the runtime's own lock for function-local statics.
    static GlobalSettings instance;
    return instance;
}

GlobalSettings::GlobalSettings() = default;

GlobalSettings::GlobalSettings(const QString& settingsFile) : settingsFile_(settingsFile) {}

std::unique_ptr<QSettings> GlobalSettings::openStore() const {
    // A fresh store per access: QSettings writes back when it goes, so a change is on disk right
    // after setSpectrumType() without an explicit flush, and no QObject outlives the application.
    if (settingsFile_) {
        return std::make_unique<QSettings>(*settingsFile_, QSettings::IniFormat);
    }
    return std::make_unique<QSettings>(QString::fromLatin1(settingskeys::kOrganisation),
                                       QString::fromLatin1(settingskeys::kApplication));
}

std::int32_t GlobalSettings::spectrumType() {
    const std::int32_t cached = m_pSpectrumType.load(std::memory_order_relaxed);
    if (cached != -1)
        return cached;

    const auto store = openStore();
    bool ok = false;
    const qlonglong stored =
        store->value(QString::fromLatin1(settingskeys::kSpectrumType), 0).toLongLong(&ok);
    // Anything that is not a whole number reads as absent rather than as a stray type.
    std::int32_t type = 0;
    if (ok && stored >= std::numeric_limits<std::int32_t>::min() &&
        stored <= std::numeric_limits<std::int32_t>::max()) {
        type = static_cast<std::int32_t>(stored);
    }
    m_pSpectrumType.store(type, std::memory_order_relaxed);
    return type;
}

void GlobalSettings::setSpectrumType(std::int32_t type) {
    m_pSpectrumType.store(type, std::memory_order_relaxed);
    const auto store = openStore();
    store->setValue(QString::fromLatin1(settingskeys::kSpectrumType), type);
    store->sync();
    if (store->status() != QSettings::NoError) {
        // The choice still holds for this run; only its persistence failed.
        console("GlobalSettings: cannot write %s to %s", settingskeys::kSpectrumType,
                store->fileName().toUtf8().constData());
    }
}

std::int32_t GlobalSettings::soundQuality() const {
    const auto store = openStore();
    bool ok = false;
    const int stored = store->value(QString::fromLatin1(settingskeys::kSoundQuality), 0).toInt(&ok);
    return ok && stored == 1 ? 1 : 0;
}

void GlobalSettings::setSoundQuality(std::int32_t quality) {
    const auto store = openStore();
    store->setValue(QString::fromLatin1(settingskeys::kSoundQuality), quality);
    store->sync();
    if (store->status() != QSettings::NoError) {
        console("GlobalSettings: cannot write %s to %s", settingskeys::kSoundQuality,
                store->fileName().toUtf8().constData());
    }
}
