// Writes the fuzz targets' seed corpora: small, valid inputs of every kind the targets take, made
// by the same code the tests use, so the fuzzer starts from inside the formats.
//   make_seeds SETTINGS_DIR DECODE_DIR
#include <plist/plist.h>

#include <QByteArray>
#include <QFile>
#include <QString>
#include <cstdio>
#include <string>
#include <vector>

#include "formats/PracticeSettingsFile.h"
#include "support/AudioFixtures.h"

namespace {

bool save(const std::string& path, const QByteArray& data) {
    QFile file(QString::fromStdString(path));
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

QByteArray binaryOf(const QByteArray& xml) {
    plist_t root = nullptr;
    plist_from_xml(xml.constData(), static_cast<std::uint32_t>(xml.size()), &root);
    char* bin = nullptr;
    std::uint32_t length = 0;
    if (root)
        plist_to_bin(root, &bin, &length);
    const QByteArray data = bin ? QByteArray(bin, static_cast<qsizetype>(length)) : QByteArray();
    plist_to_bin_free(bin);
    plist_free(root);
    return data;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s SETTINGS_DIR DECODE_DIR\n", argv[0]);
        return 2;
    }
    const std::string settingsDir = argv[1];
    const std::string decodeDir = argv[2];
    bool ok = true;

    PracticeSettings full;
    full.musicFile = QStringLiteral("/home/musician/Übungen/Étude.wav");
    full.musicVolume = 80.5F;
    full.musicTempo = -12.25F;
    full.musicSamplerate = 47000.0F;
    full.musicPitch = 2.5F;
    full.metronomBpm = QVariant(qlonglong(132));
    full.metronomAutostart = 1;
    full.metronomVolume = 66.0F;
    const QByteArray xml = PracticeSettingsFile::toXml(full);
    PracticeSettings realBpm = full;
    realBpm.metronomBpm = QVariant(100.7);
    ok &= save(settingsDir + "/full.sps", xml);
    ok &= save(settingsDir + "/bare.sps", PracticeSettingsFile::toXml(PracticeSettings{}));
    ok &= save(settingsDir + "/real-bpm.sps", PracticeSettingsFile::toXml(realBpm));
    ok &= save(settingsDir + "/full-binary.sps", binaryOf(xml));
    ok &= save(settingsDir + "/nested.sps",
               "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>A</key><array><array>"
               "<dict><key>B</key><string><![CDATA[x]]></string></dict></array></array>"
               "<!-- note --><key>MUSIC_TEMP</key><string>12 %</string></dict></plist>");

    const auto tone = testsupport::sine(440.0, 0.05, 8000, 1);
    const auto stereo = testsupport::sine(330.0, 0.05, 8000, 2);
    for (const char* name :
         {"tone.wav", "tone.flac", "tone.mp3", "tone.ogg", "tone.m4a", "tone.aif", "tone.aac"}) {
        std::string error;
        if (!testsupport::writeAudioFile(decodeDir + "/" + name, tone, 8000, 1, &error)) {
            std::fprintf(stderr, "make_seeds: %s: %s\n", name, error.c_str());
            ok = false;
        }
    }
    ok &= testsupport::writeWav(decodeDir + "/stereo-float.wav", stereo, 8000, 2,
                                testsupport::WavSampleFormat::Float32);
    ok &= testsupport::writeAudioFile(decodeDir + "/stereo.flac", stereo, 8000, 2);
    return ok ? 0 : 1;
}
