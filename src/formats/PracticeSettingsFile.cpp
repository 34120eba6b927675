#include "formats/PracticeSettingsFile.h"

#include <fcntl.h>
#include <plist/plist.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <utility>

#include "formats/AtomicFileWrite.h"
#include "formats/Markers.h"
#include "formats/NumberText.h"
#include "formats/PlistPrecheck.h"

namespace {

// The C API rather than libplist++: the C++ wrapper (2.2) leaks the nodes of arrays inside a
// dictionary and of non-dictionary roots, which a hostile file can repeat at will.
struct PlistFree {
    void operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }
};
using PlistHolder = std::unique_ptr<void, PlistFree>;

struct XmlFree {
    void operator()(char* text) const { plist_to_xml_free(text); }
};

// Beyond float's range a stored real becomes an infinity, as the float conversion of the
// platform always did, without relying on an out-of-range conversion.
float toFloat(double value) {
    if (value > static_cast<double>(FLT_MAX))
        return INFINITY;
    if (value < -static_cast<double>(FLT_MAX))
        return -INFINITY;
    return static_cast<float>(value);
}

// 2^63: libplist's writer converts every real to a 64-bit integer to see whether it is whole,
// which is undefined for NaN, infinities and magnitudes from here on.
constexpr double kRealLimit = 9223372036854775808.0;

bool storableReal(double value) {
    return std::isfinite(value) && std::fabs(value) < kRealLimit;
}

// A real the format cannot carry back out reads as not a number, the value each control
// ignores and the metronome refuses.
double withinFormat(double value) {
    return storableReal(value) ? value : std::numeric_limits<double>::quiet_NaN();
}

// The value stored under `key`, null when the dictionary has none.
plist_t itemOf(plist_t dict, const char* key) {
    return plist_dict_get_item(dict, key);
}

QString stringOf(plist_t node) {
    std::uint64_t length = 0;
    const char* text = plist_get_string_ptr(node, &length);
    return text ? QString::fromUtf8(text, static_cast<qsizetype>(length)) : QString();
}

// Negative integers are stored as their two's complement.
std::int64_t integerOf(plist_t node) {
    std::uint64_t raw = 0;
    plist_get_uint_val(node, &raw);
    return static_cast<std::int64_t>(raw);
}

bool boolOf(plist_t node) {
    std::uint8_t value = 0;
    plist_get_bool_val(node, &value);
    return value != 0;
}

double realOf(plist_t node) {
    double value = 0.0;
    plist_get_real_val(node, &value);
    return value;
}

plist_type typeOf(plist_t node) {
    return node ? plist_get_node_type(node) : PLIST_NONE;
}

float floatFor(plist_t dict, const char* key) {
    plist_t node = itemOf(dict, key);
    switch (typeOf(node)) {
        case PLIST_REAL:
            return toFloat(withinFormat(realOf(node)));
        case PLIST_UINT:
            return static_cast<float>(integerOf(node));
        case PLIST_BOOLEAN:
            return boolOf(node) ? 1.0F : 0.0F;
        case PLIST_STRING:
            return toFloat(withinFormat(numbertext::realValue(stringOf(node))));
        default:
            return 0.0F;
    }
}

int integerFor(plist_t dict, const char* key) {
    plist_t node = itemOf(dict, key);
    switch (typeOf(node)) {
        case PLIST_REAL:
            return numbertext::wholeNumberPart(QVariant(withinFormat(realOf(node))));
        case PLIST_UINT:
            return numbertext::wholeNumberPart(QVariant(qlonglong(integerOf(node))));
        case PLIST_BOOLEAN:
            return boolOf(node) ? 1 : 0;
        case PLIST_STRING:
            return numbertext::integerValue(stringOf(node));
        default:
            return 0;
    }
}

// The beat rate keeps its stored kind: an integer stays an integer and a real a real (the BPM
// field later shows the whole-number part of either).
QVariant numberObjectFor(plist_t dict, const char* key) {
    plist_t node = itemOf(dict, key);
    switch (typeOf(node)) {
        case PLIST_REAL:
            return QVariant(withinFormat(realOf(node)));
        case PLIST_UINT:
            return QVariant(qlonglong(integerOf(node)));
        case PLIST_BOOLEAN:
            return QVariant(qlonglong(boolOf(node) ? 1 : 0));
        case PLIST_STRING: {
            const double value = withinFormat(numbertext::realValue(stringOf(node)));
            if (std::trunc(value) == value && std::fabs(value) < 9.0e15) {
                return QVariant(qlonglong(value));
            }
            return QVariant(value);
        }
        default:
            return QVariant();
    }
}

double realFor(plist_t dict, const char* key) {
    plist_t node = itemOf(dict, key);
    switch (typeOf(node)) {
        case PLIST_REAL:
            return withinFormat(realOf(node));
        case PLIST_UINT:
            return static_cast<double>(integerOf(node));
        case PLIST_STRING:
            return withinFormat(numbertext::realValue(stringOf(node)));
        default:
            return 0.0;
    }
}

bool hasAny(plist_t dict, std::initializer_list<const char*> keys) {
    for (const char* key : keys) {
        if (itemOf(dict, key) != nullptr)
            return true;
    }
    return false;
}

// Entries that are no marker (not a dictionary, no time, a time that is no place in music) are
// left out; a missing name gets one when the markers are put to use.
void readMarkers(plist_t dict, PracticeSettings& s) {
    namespace k = practicekeys;
    plist_t array = itemOf(dict, k::kMarkers);
    if (typeOf(array) != PLIST_ARRAY)
        return;
    std::vector<Marker> list;
    const std::uint32_t count = plist_array_get_size(array);
    for (std::uint32_t i = 0; i < count && list.size() < markers::kMostMarkers; ++i) {
        plist_t entry = plist_array_get_item(array, i);
        if (typeOf(entry) != PLIST_DICT || itemOf(entry, k::kMarkerTime) == nullptr)
            continue;
        const double seconds = realFor(entry, k::kMarkerTime);
        if (!(seconds >= 0.0) || !std::isfinite(seconds))
            continue;
        plist_t name = itemOf(entry, k::kMarkerName);
        list.push_back(Marker{seconds, typeOf(name) == PLIST_STRING ? stringOf(name) : QString()});
    }
    s.markers = std::move(list);
}

// A value out of its tool's range reads as that tool unused, never as a sound the player
// cannot make.
void readHearing(plist_t dict, PracticeSettings& s) {
    namespace k = practicekeys;
    using formats::FocusBand;
    if (itemOf(dict, k::kTuningCents) != nullptr) {
        const float cents = floatFor(dict, k::kTuningCents);
        if (std::isfinite(cents) && std::fabs(cents) <= 50.0F)
            s.tuningCents = cents;
    }
    if (!hasAny(dict, {k::kChannels, k::kFocusBand, k::kFocusCentre, k::kFocusWidth, k::kFocusGain,
                       k::kCentreCancel})) {
        return;
    }
    formats::HearingSettings hearing;
    if (const int channels = integerFor(dict, k::kChannels); formats::isChannelChoice(channels))
        hearing.channels = static_cast<formats::ChannelChoice>(channels);
    const int band = integerFor(dict, k::kFocusBand);
    if (band >= static_cast<int>(FocusBand::Off) && band <= static_cast<int>(FocusBand::Custom)) {
        formats::FocusSpec focus;
        focus.band = static_cast<FocusBand>(band);
        const auto stored = [dict](const char* key, float fallback) {
            return itemOf(dict, key) != nullptr ? floatFor(dict, key) : fallback;
        };
        focus.centreHz = stored(k::kFocusCentre, focus.centreHz);
        focus.widthOctaves = stored(k::kFocusWidth, focus.widthOctaves);
        focus.gainDb = stored(k::kFocusGain, focus.gainDb);
        if (focus.valid())
            hearing.focus = focus;
    }
    hearing.centreCancel = integerFor(dict, k::kCentreCancel) != 0;
    s.hearing = hearing;
}

// The practice tools' keys, each group read only when one of its keys is there. Values that
// make no sense (a loop ending before it starts, NaN) read as no such tool.
void readPracticeTools(plist_t dict, PracticeSettings& s) {
    namespace k = practicekeys;
    if (hasAny(dict, {k::kLoopStart, k::kLoopEnd, k::kLoopOn})) {
        LoopRange loop{realFor(dict, k::kLoopStart), realFor(dict, k::kLoopEnd),
                       integerFor(dict, k::kLoopOn) != 0};
        if (!(loop.start >= 0.0) || !(loop.end > loop.start)) {
            loop = LoopRange{};
        }
        s.loop = loop;
    }
    if (hasAny(dict, {k::kTrainerStart, k::kTrainerTarget, k::kTrainerStep, k::kTrainerPasses,
                      k::kTrainerOn})) {
        TrainerPlan plan{floatFor(dict, k::kTrainerStart), floatFor(dict, k::kTrainerTarget),
                         floatFor(dict, k::kTrainerStep), integerFor(dict, k::kTrainerPasses),
                         integerFor(dict, k::kTrainerOn) != 0};
        if (std::isfinite(plan.start) && std::isfinite(plan.target) && std::isfinite(plan.step) &&
            plan.step > 0.0F && plan.passesPerStep > 0) {
            s.trainer = plan;
        }
    }
    if (hasAny(dict, {k::kCountInBars, k::kCountInBeatsPerBar, k::kCountInEveryPass})) {
        CountIn countIn{integerFor(dict, k::kCountInBars), integerFor(dict, k::kCountInBeatsPerBar),
                        integerFor(dict, k::kCountInEveryPass) != 0};
        if (countIn.bars >= 0 && countIn.bars <= 2 &&
            countIn.beatsPerBar >= CountIn::kMinimumBeatsPerBar &&
            countIn.beatsPerBar <= CountIn::kMaximumBeatsPerBar) {
            s.countIn = countIn;
        }
    }
    readMarkers(dict, s);
    readHearing(dict, s);
}

PracticeSettings settingsOf(plist_t dict) {
    namespace k = practicekeys;
    PracticeSettings s;
    plist_t music = itemOf(dict, k::kMusicFile);
    if (typeOf(music) == PLIST_STRING) {
        s.musicFile = stringOf(music);
    }
    s.musicVolume = floatFor(dict, k::kMusicVolume);
    s.musicTempo = floatFor(dict, k::kMusicTempo);
    s.musicSamplerate = floatFor(dict, k::kMusicSamplerate);
    s.musicPitch = floatFor(dict, k::kMusicPitch);
    s.metronomBpm = numberObjectFor(dict, k::kMetronomBpm);
    s.metronomAutostart = integerFor(dict, k::kMetronomAutostart);
    s.metronomVolume = floatFor(dict, k::kMetronomVolume);
    readPracticeTools(dict, s);
    return s;
}

PracticeSettingsReadResult failure(const QString& why) {
    return {std::nullopt, why};
}

}  // namespace

PracticeSettingsReadResult PracticeSettingsFile::parse(const QByteArray& data) {
    if (data.isEmpty()) {
        return failure(QStringLiteral("The file is empty."));
    }
    const bool binary =
        plist_is_binary(data.constData(), static_cast<std::uint32_t>(data.size())) != 0;
    if (binary ? data.size() > kMaximumBinarySize : data.size() > kMaximumXmlSize) {
        return failure(QStringLiteral("The file is too large to be a practice settings file."));
    }
    const plistprecheck::Verdict verdict =
        binary ? plistprecheck::checkBinary(data, kMaximumDepth, kMaximumBinaryNodes)
               : plistprecheck::checkXml(data, kMaximumDepth);
    switch (verdict) {
        case plistprecheck::Verdict::Acceptable:
            break;
        case plistprecheck::Verdict::TooDeep:
            return failure(
                binary ? QStringLiteral("The file is not a practice settings file (its property "
                                        "list is nested too deeply).")
                       : QStringLiteral("The file is not a practice settings file (its XML is "
                                        "nested too deeply)."));
        case plistprecheck::Verdict::TooMany:
            return failure(QStringLiteral("The file is not a practice settings file (its property "
                                          "list would expand to more than %1 values).")
                               .arg(kMaximumBinaryNodes));
        case plistprecheck::Verdict::Unsupported:
            return failure(
                QStringLiteral("The file is not a practice settings file (it holds "
                               "XML constructs that settings files never have)."));
        case plistprecheck::Verdict::Malformed:
            return failure(QStringLiteral("The file is not a property list."));
    }
    // Reads the XML and the binary format alike.
    plist_t parsed = nullptr;
    plist_from_memory(data.constData(), static_cast<std::uint32_t>(data.size()), &parsed);
    const PlistHolder root(parsed);
    if (!root) {
        return failure(QStringLiteral("The file is not a property list."));
    }
    if (plist_get_node_type(root.get()) != PLIST_DICT) {
        return failure(QStringLiteral("The file's property list holds no settings dictionary."));
    }
    return {settingsOf(root.get()), QString()};
}

PracticeSettingsReadResult PracticeSettingsFile::read(const QString& path) {
    // One open, which never waits (O_NONBLOCK: a FIFO would wait for a writer), and the checks
    // on that very descriptor, so a path swapped after a check cannot slip a pipe or a device in.
    const QByteArray name = QFile::encodeName(path);
    if (name.isEmpty() || name.contains('\0')) {
        return failure(QStringLiteral("The file does not exist."));
    }
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        const int error = errno;
        return failure(error == ENOENT ? QStringLiteral("The file does not exist.")
                                       : QString::fromLocal8Bit(std::strerror(error)));
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } const closer{fd};
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        return failure(QString::fromLocal8Bit(std::strerror(errno)));
    }
    // A folder, a pipe or a device could block or never end.
    if (!S_ISREG(info.st_mode)) {
        return failure(QStringLiteral("It is not a regular file."));
    }
    if (info.st_size > kMaximumXmlSize) {
        return failure(QStringLiteral("The file is too large to be a practice settings file."));
    }
    // One byte more than allowed tells a file that grew since the size check.
    QByteArray data(kMaximumXmlSize + 1, Qt::Uninitialized);
    qsizetype got = 0;
    while (got < data.size()) {
        const ssize_t n = ::read(fd, data.data() + got, static_cast<size_t>(data.size() - got));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return failure(QString::fromLocal8Bit(std::strerror(errno)));
        }
        if (n == 0) {
            break;
        }
        got += n;
    }
    data.truncate(got);
    return parse(data);
}

QString PracticeSettingsFile::unstorable(const PracticeSettings& settings) {
    namespace k = practicekeys;
    if (settings.musicFile) {
        const QString& path = *settings.musicFile;
        // The file holds UTF-8 text: a NUL would cut the path short, and a lone surrogate or
        // the replacement character (what a name that was not UTF-8 decodes to) would name
        // another file when read back.
        if (path.contains(QChar(u'\0'))) {
            return QStringLiteral(
                "The music file's name contains a NUL character, which a "
                "settings file cannot hold.");
        }
        if (!path.isValidUtf16() || path.contains(QChar(QChar::ReplacementCharacter))) {
            return QStringLiteral(
                "The music file's name is not valid UTF-8 text, so a settings "
                "file cannot hold it faithfully.");
        }
    }
    const std::pair<const char*, double> reals[] = {
        {k::kMusicVolume, settings.musicVolume},
        {k::kMusicTempo, settings.musicTempo},
        {k::kMusicSamplerate, settings.musicSamplerate},
        {k::kMusicPitch, settings.musicPitch},
        {k::kMetronomBpm, settings.metronomBpm.typeId() == QMetaType::Double ||
                                  settings.metronomBpm.typeId() == QMetaType::Float
                              ? settings.metronomBpm.toDouble()
                              : 0.0},
        {k::kMetronomVolume, settings.metronomVolume},
        {k::kLoopStart, settings.loop ? settings.loop->start : 0.0},
        {k::kLoopEnd, settings.loop ? settings.loop->end : 0.0},
        {k::kTrainerStart, settings.trainer ? settings.trainer->start : 0.0F},
        {k::kTrainerTarget, settings.trainer ? settings.trainer->target : 0.0F},
        {k::kTrainerStep, settings.trainer ? settings.trainer->step : 0.0F},
        {k::kTuningCents, settings.tuningCents.value_or(0.0F)},
        {k::kFocusCentre, settings.hearing ? settings.hearing->focus.centreHz : 0.0F},
        {k::kFocusWidth, settings.hearing ? settings.hearing->focus.widthOctaves : 0.0F},
        {k::kFocusGain, settings.hearing ? settings.hearing->focus.gainDb : 0.0F},
    };
    for (const auto& [key, value] : reals) {
        if (!storableReal(value)) {
            return QStringLiteral("The value of %1 (%2) cannot be stored in a settings file.")
                .arg(QLatin1String(key), QString::number(value));
        }
    }
    for (const Marker& marker : settings.markers.value_or(std::vector<Marker>{})) {
        if (!storableReal(marker.seconds) || marker.name.contains(QChar(u'\0')) ||
            !marker.name.isValidUtf16()) {
            return QStringLiteral("The marker \"%1\" cannot be stored in a settings file.")
                .arg(marker.name);
        }
    }
    return QString();
}

QByteArray PracticeSettingsFile::toXml(const PracticeSettings& settings) {
    namespace k = practicekeys;
    if (!unstorable(settings).isEmpty()) {
        return QByteArray();
    }
    const PlistHolder dict(plist_new_dict());
    if (settings.musicFile) {
        plist_dict_set_item(dict.get(), k::kMusicFile,
                            plist_new_string(settings.musicFile->toUtf8().constData()));
    }
    const auto real = [&dict](const char* key, double value) {
        plist_dict_set_item(dict.get(), key, plist_new_real(value));
    };
    // Signed values are stored as their two's complement, which the XML writer prints signed.
    const auto integer = [&dict](const char* key, std::int64_t value) {
        plist_dict_set_item(dict.get(), key, plist_new_uint(static_cast<std::uint64_t>(value)));
    };
    real(k::kMusicVolume, settings.musicVolume);
    real(k::kMusicTempo, settings.musicTempo);
    real(k::kMusicSamplerate, settings.musicSamplerate);
    real(k::kMusicPitch, settings.musicPitch);
    const QVariant& bpm = settings.metronomBpm;
    if (bpm.typeId() == QMetaType::Double || bpm.typeId() == QMetaType::Float) {
        real(k::kMetronomBpm, bpm.toDouble());
    } else if (bpm.isValid()) {
        integer(k::kMetronomBpm, bpm.toLongLong());
    }
    integer(k::kMetronomAutostart, settings.metronomAutostart);
    real(k::kMetronomVolume, settings.metronomVolume);
    if (const auto& loop = settings.loop) {
        real(k::kLoopStart, loop->start);
        real(k::kLoopEnd, loop->end);
        integer(k::kLoopOn, loop->on ? 1 : 0);
    }
    if (const auto& plan = settings.trainer) {
        real(k::kTrainerStart, plan->start);
        real(k::kTrainerTarget, plan->target);
        real(k::kTrainerStep, plan->step);
        integer(k::kTrainerPasses, plan->passesPerStep);
        integer(k::kTrainerOn, plan->on ? 1 : 0);
    }
    if (const auto& countIn = settings.countIn) {
        integer(k::kCountInBars, countIn->bars);
        integer(k::kCountInBeatsPerBar, countIn->beatsPerBar);
        integer(k::kCountInEveryPass, countIn->everyPass ? 1 : 0);
    }
    if (const auto& markers = settings.markers; markers && !markers->empty()) {
        plist_t array = plist_new_array();
        for (const Marker& marker : *markers) {
            plist_t entry = plist_new_dict();
            plist_dict_set_item(entry, k::kMarkerTime, plist_new_real(marker.seconds));
            plist_dict_set_item(entry, k::kMarkerName,
                                plist_new_string(marker.name.toUtf8().constData()));
            plist_array_append_item(array, entry);
        }
        plist_dict_set_item(dict.get(), k::kMarkers, array);
    }
    if (settings.tuningCents && *settings.tuningCents != 0.0F)
        real(k::kTuningCents, *settings.tuningCents);
    if (const auto& hearing = settings.hearing; hearing && !hearing->neutral()) {
        integer(k::kChannels, static_cast<std::int64_t>(hearing->channels));
        integer(k::kFocusBand, static_cast<std::int64_t>(hearing->focus.band));
        if (hearing->focus.band == formats::FocusBand::Custom) {
            real(k::kFocusCentre, hearing->focus.centreHz);
            real(k::kFocusWidth, hearing->focus.widthOctaves);
            real(k::kFocusGain, hearing->focus.gainDb);
        }
        integer(k::kCentreCancel, hearing->centreCancel ? 1 : 0);
    }

    char* xml = nullptr;
    std::uint32_t length = 0;
    plist_to_xml(dict.get(), &xml, &length);
    const std::unique_ptr<char, XmlFree> holder(xml);
    return xml ? QByteArray(xml, static_cast<qsizetype>(length)) : QByteArray();
}

QString PracticeSettingsFile::write(const QString& path, const PracticeSettings& settings) {
    if (const QString why = unstorable(settings); !why.isEmpty()) {
        return why;
    }
    const QByteArray xml = toXml(settings);
    if (xml.isEmpty()) {
        return QStringLiteral("The settings could not be converted to a property list.");
    }
    return writeFileAtomically(path, xml);
}
