#include "player/settingsfile/PracticeSettingsFile.h"

#include <plist/plist.h>

#include <QFile>
#include <QFileInfo>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <memory>

#include "player/settingsfile/AtomicFileWrite.h"
#include "ui/NumberText.h"

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

// libplist frees (and parses binary lists) recursively: a hostile file nested a few hundred
// thousand levels deep would exhaust the stack. Counting element nesting before parsing keeps
// such files away from it. Comments and CDATA sections are skipped so that text inside them
// does not count.
bool xmlNestingWithin(const QByteArray& data, int limit) {
    int depth = 0;
    const qsizetype n = data.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (data[i] != '<' || i + 1 >= n)
            continue;
        const char next = data[i + 1];
        if (data.mid(i, 4) == "<!--") {
            const qsizetype end = data.indexOf("-->", i + 4);
            if (end < 0)
                return true;  // unterminated: the parser rejects it
            i = end + 2;
        } else if (data.mid(i, 9) == "<![CDATA[") {
            const qsizetype end = data.indexOf("]]>", i + 9);
            if (end < 0)
                return true;
            i = end + 2;
        } else if (next == '/') {
            --depth;
        } else if (next != '!' && next != '?') {
            const qsizetype end = data.indexOf('>', i + 1);
            if (end < 0)
                return true;
            if (data[end - 1] != '/' && ++depth > limit)
                return false;
            i = end;
        }
    }
    return true;
}

// Beyond float's range a stored real becomes an infinity, as the float conversion of the
// platform always did, without relying on an out-of-range conversion.
float toFloat(double value) {
    if (value > static_cast<double>(FLT_MAX))
        return INFINITY;
    if (value < -static_cast<double>(FLT_MAX))
        return -INFINITY;
    return static_cast<float>(value);
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
            return toFloat(realOf(node));
        case PLIST_UINT:
            return static_cast<float>(integerOf(node));
        case PLIST_BOOLEAN:
            return boolOf(node) ? 1.0F : 0.0F;
        case PLIST_STRING:
            return toFloat(numbertext::realValue(stringOf(node)));
        default:
            return 0.0F;
    }
}

int integerFor(plist_t dict, const char* key) {
    plist_t node = itemOf(dict, key);
    switch (typeOf(node)) {
        case PLIST_REAL:
            return numbertext::wholeNumberPart(QVariant(realOf(node)));
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
            return QVariant(realOf(node));
        case PLIST_UINT:
            return QVariant(qlonglong(integerOf(node)));
        case PLIST_BOOLEAN:
            return QVariant(qlonglong(boolOf(node) ? 1 : 0));
        case PLIST_STRING: {
            const double value = numbertext::realValue(stringOf(node));
            if (std::trunc(value) == value && std::fabs(value) < 9.0e15) {
                return QVariant(qlonglong(value));
            }
            return QVariant(value);
        }
        default:
            return QVariant();
    }
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
    if (!binary && !xmlNestingWithin(data, kMaximumXmlDepth)) {
        return failure(
            QStringLiteral("The file is not a practice settings file (its XML is "
                           "nested too deeply)."));
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
    const QFileInfo info(path);
    if (!info.exists()) {
        return failure(QStringLiteral("The file does not exist."));
    }
    // A folder, a pipe or a device could block or never end.
    if (!info.isFile()) {
        return failure(QStringLiteral("It is not a regular file."));
    }
    if (info.size() > kMaximumXmlSize) {
        return failure(QStringLiteral("The file is too large to be a practice settings file."));
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return failure(file.errorString());
    }
    // One byte more than allowed tells a file that grew since the size check.
    const QByteArray data = file.read(kMaximumXmlSize + 1);
    if (file.error() != QFileDevice::NoError) {
        return failure(file.errorString());
    }
    return parse(data);
}

QByteArray PracticeSettingsFile::toXml(const PracticeSettings& settings) {
    namespace k = practicekeys;
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

    char* xml = nullptr;
    std::uint32_t length = 0;
    plist_to_xml(dict.get(), &xml, &length);
    const std::unique_ptr<char, XmlFree> holder(xml);
    return xml ? QByteArray(xml, static_cast<qsizetype>(length)) : QByteArray();
}

QString PracticeSettingsFile::write(const QString& path, const PracticeSettings& settings) {
    const QByteArray xml = toXml(settings);
    if (xml.isEmpty()) {
        return QStringLiteral("The settings could not be converted to a property list.");
    }
    return writeFileAtomically(path, xml);
}
