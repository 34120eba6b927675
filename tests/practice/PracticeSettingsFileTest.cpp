// Practice settings files on disk: what is written, what is read back, how stored values of
// other types are taken, and that hostile or broken files and failed saves never do harm.
#include <gtest/gtest.h>
#include <plist/plist++.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cmath>
#include <ctime>
#include <limits>
#include <utility>
#include <vector>

#include "formats/PracticeSettingsFile.h"
#include "support/TempHome.h"

namespace {

PracticeSettings sampleSettings() {
    return PracticeSettings{
        .musicFile = QStringLiteral("/home/musician/Übungen/Étude nº 3 – 練習.wav"),
        .musicVolume = 80.5F,
        .musicTempo = 12.34F,
        .musicSamplerate = 47000.0F,
        .musicPitch = -2.5F,
        .metronomBpm = QVariant(qlonglong(132)),
        .metronomAutostart = 1,
        .metronomVolume = 66.6F,
    };
}

QString writeText(const testsupport::TempDir& dir, const std::string& name,
                  const QByteArray& text) {
    const QString path = QString::fromStdString(dir.file(name));
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
    return path;
}

QByteArray plistWith(const QByteArray& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n" + body +
           "\n</plist>\n";
}

QByteArray contentOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void expectUnreadable(const PracticeSettingsReadResult& result, const std::string& what) {
    EXPECT_FALSE(result.settings.has_value()) << what;
    EXPECT_FALSE(result.error.isEmpty()) << what;
}

// A binary property list whose root dictionary holds a music path and, under another key, object
// `levels`: object k is an array holding object k-1 twice, so the tree expands to 2^levels nodes.
QByteArray expansionBomb(int levels) {
    QByteArray objects;
    QList<int> offsets;
    const auto add = [&](const QByteArray& bytes) {
        offsets.append(8 + static_cast<int>(objects.size()));
        objects += bytes;
    };
    add(QByteArray("\x10\x01", 2));  // object 0: the integer 1
    for (int k = 1; k <= levels; ++k)
        add(QByteArray(1, '\xa2') + char(k - 1) + char(k - 1));
    add("\x5aMUSIC_FILE");
    add("\x56/m.wav");
    add("\x55OTHER");
    const int root = static_cast<int>(offsets.size());
    add(QByteArray(1, '\xd2') + char(root - 3) + char(root - 1) + char(root - 2) + char(levels));
    QByteArray data = "bplist00" + objects;
    const auto tableAt = static_cast<quint64>(data.size());
    for (int offset : offsets)
        data += char(offset >> 8) + QByteArray(1, char(offset & 0xff));
    QByteArray trailer(32, '\0');
    trailer[6] = 2;  // offset size
    trailer[7] = 1;  // reference size
    trailer[15] = char(offsets.size());
    trailer[23] = char(root);
    for (int i = 0; i < 8; ++i)
        trailer[24 + i] = char((tableAt >> (8 * (7 - i))) & 0xff);
    return data + trailer;
}

}  // namespace

TEST(PracticeSettingsFile, WrittenSettingsReadBackUnchanged) {
    testsupport::TempDir dir;
    // Non-ASCII folder and file names, as a musician's own files have.
    const QString folder = QString::fromStdString(dir.file("Übungsordner ü"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString path = folder + QStringLiteral("/Sonate – langsam.sps");
    const PracticeSettings written = sampleSettings();
    ASSERT_EQ(PracticeSettingsFile::write(path, written), QString());

    const PracticeSettingsReadResult read = PracticeSettingsFile::read(path);
    ASSERT_TRUE(read.settings.has_value()) << read.error.toStdString();
    const PracticeSettings& s = *read.settings;
    EXPECT_EQ(s.musicFile, written.musicFile);
    EXPECT_EQ(s.musicVolume, written.musicVolume);
    EXPECT_EQ(s.musicTempo, written.musicTempo);
    EXPECT_EQ(s.musicSamplerate, written.musicSamplerate);
    EXPECT_EQ(s.musicPitch, written.musicPitch);
    EXPECT_EQ(s.metronomBpm.typeId(), QMetaType::LongLong);
    EXPECT_EQ(s.metronomBpm.toLongLong(), 132);
    EXPECT_EQ(s.metronomAutostart, 1);
    EXPECT_EQ(s.metronomVolume, written.metronomVolume);
    EXPECT_TRUE(read.error.isEmpty());
    // Nothing but the file itself is left in the folder.
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

TEST(PracticeSettingsFile, IsAnXmlPropertyListWithTypedValues) {
    const QByteArray xml = PracticeSettingsFile::toXml(sampleSettings());
    EXPECT_TRUE(xml.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"));
    EXPECT_TRUE(xml.contains("<plist version=\"1.0\">"));
    EXPECT_TRUE(xml.contains("<key>MUSIC_TEMP</key>\n\t<real>12.340000152587891</real>"))
        << xml.data();
    EXPECT_TRUE(xml.contains("<key>METRONOM_BPM</key>\n\t<integer>132</integer>"));
    EXPECT_TRUE(xml.contains("<key>METRONOM_BPM_AUTOSTART</key>\n\t<integer>1</integer>"));
    EXPECT_TRUE(xml.contains("<key>METRONOM_VOLUME</key>\n\t<real>"));
    EXPECT_TRUE(xml.contains("Étude nº 3 – 練習.wav"));  // UTF-8, not escaped away

    // No music, no beat rate: no keys for them rather than empty values.
    PracticeSettings bare;
    const QByteArray none = PracticeSettingsFile::toXml(bare);
    EXPECT_FALSE(none.contains("MUSIC_FILE"));
    EXPECT_FALSE(none.contains("<key>METRONOM_BPM</key>"));
    EXPECT_TRUE(none.contains("<key>METRONOM_VOLUME</key>"));
}

TEST(PracticeSettingsFile, MissingKeysReadAsZeroAndNoMusic) {
    const auto only = PracticeSettingsFile::parse(
        plistWith("<dict><key>MUSIC_FILE</key><string>/music/a.wav</string></dict>"));
    ASSERT_TRUE(only.settings.has_value());
    const PracticeSettings& s = *only.settings;
    EXPECT_EQ(s.musicFile, QStringLiteral("/music/a.wav"));
    EXPECT_EQ(s.musicVolume, 0.0F);
    EXPECT_EQ(s.musicTempo, 0.0F);
    EXPECT_EQ(s.musicSamplerate, 0.0F);
    EXPECT_EQ(s.musicPitch, 0.0F);
    EXPECT_FALSE(s.metronomBpm.isValid());
    EXPECT_EQ(s.metronomAutostart, 0);
    EXPECT_EQ(s.metronomVolume, 0.0F);

    const auto empty = PracticeSettingsFile::parse(plistWith("<dict/>"));
    ASSERT_TRUE(empty.settings.has_value());
    EXPECT_FALSE(empty.settings->musicFile.has_value());
}

TEST(PracticeSettingsFile, NumbersAreTakenWhateverTheirStoredType) {
    const auto r = PracticeSettingsFile::parse(plistWith(
        "<dict>"
        "<key>MUSIC_FILE</key><integer>5</integer>"              // not a path: none
        "<key>MUSIC_VOLUME</key><integer>75</integer>"           // integer for a real
        "<key>MUSIC_TEMP</key><string>  -12.5 percent</string>"  // leading number of a text
        "<key>MUSIC_SAMPLERATE</key><string>fast</string>"       // text without a number: 0
        "<key>MUSIC_PITCH</key><true/>"                          // a boolean counts as 1
        "<key>METRONOM_BPM</key><real>100.7</real>"
        "<key>METRONOM_BPM_AUTOSTART</key><real>1.9</real>"  // integer value of a real
        "<key>METRONOM_VOLUME</key><data>AAEC</data>"        // unsupported type: 0
        "<key>SOMETHING_ELSE</key><array><integer>1</integer></array>"
        "</dict>"));
    ASSERT_TRUE(r.settings.has_value()) << r.error.toStdString();
    const PracticeSettings& s = *r.settings;
    EXPECT_FALSE(s.musicFile.has_value());
    EXPECT_EQ(s.musicVolume, 75.0F);
    EXPECT_EQ(s.musicTempo, -12.5F);
    EXPECT_EQ(s.musicSamplerate, 0.0F);
    EXPECT_EQ(s.musicPitch, 1.0F);
    EXPECT_EQ(s.metronomBpm.typeId(), QMetaType::Double);  // a real stays a real
    EXPECT_EQ(s.metronomBpm.toDouble(), 100.7);
    EXPECT_EQ(s.metronomAutostart, 1);
    EXPECT_EQ(s.metronomVolume, 0.0F);

    const auto strings = PracticeSettingsFile::parse(
        plistWith("<dict><key>METRONOM_BPM</key><string>96 bpm</string>"
                  "<key>METRONOM_BPM_AUTOSTART</key><string>1</string>"
                  "<key>MUSIC_VOLUME</key><real>1e300</real>"
                  "<key>MUSIC_PITCH</key><integer>-3</integer></dict>"));
    ASSERT_TRUE(strings.settings.has_value());
    EXPECT_EQ(strings.settings->metronomBpm.typeId(), QMetaType::LongLong);
    EXPECT_EQ(strings.settings->metronomBpm.toLongLong(), 96);
    EXPECT_EQ(strings.settings->metronomAutostart, 1);
    // Beyond 2^63 a real could not be written back: it reads as not a number.
    EXPECT_TRUE(std::isnan(strings.settings->musicVolume));
    EXPECT_EQ(strings.settings->musicPitch, -3.0F);
}

TEST(PracticeSettingsFile, BinaryPropertyListsAreReadToo) {
    PList::Dictionary dict;
    dict.Set("MUSIC_FILE", PList::String("/music/b.wav"));
    dict.Set("MUSIC_TEMP", PList::Real(-20.0));
    const std::vector<char> bin = dict.ToBin();
    const QByteArray data(bin.data(), static_cast<qsizetype>(bin.size()));

    const auto r = PracticeSettingsFile::parse(data);
    ASSERT_TRUE(r.settings.has_value()) << r.error.toStdString();
    EXPECT_EQ(r.settings->musicFile, QStringLiteral("/music/b.wav"));
    EXPECT_EQ(r.settings->musicTempo, -20.0F);
}

TEST(PracticeSettingsFile, FilesThatAreNotSettingsAreRefusedWithAReason) {
    testsupport::TempDir dir;
    expectUnreadable(PracticeSettingsFile::read(QString::fromStdString(dir.file("none.sps"))),
                     "missing");
    expectUnreadable(PracticeSettingsFile::read(QString::fromStdString(dir.path())), "folder");
    expectUnreadable(PracticeSettingsFile::read(writeText(dir, "empty.sps", "")), "empty");
    expectUnreadable(PracticeSettingsFile::read(writeText(
                         dir, "array.sps", plistWith("<array><string>x</string></array>"))),
                     "root array");
    expectUnreadable(
        PracticeSettingsFile::read(writeText(dir, "string.sps", plistWith("<string>x</string>"))),
        "root string");
    expectUnreadable(PracticeSettingsFile::read(writeText(dir, "text.sps", "just some notes\n")),
                     "plain text");
    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    png.append(QByteArray(2000, '\x7f'));
    expectUnreadable(PracticeSettingsFile::read(writeText(dir, "image.sps", png)), "binary");

    // A huge file is refused by its size, not read into memory.
    const QString huge = QString::fromStdString(dir.file("huge.sps"));
    {
        QFile file(huge);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(512LL * 1024 * 1024));  // sparse
    }
    const auto big = PracticeSettingsFile::read(huge);
    expectUnreadable(big, "huge");
    EXPECT_TRUE(big.error.contains(QLatin1String("too large")));

    expectUnreadable(PracticeSettingsFile::read(QStringLiteral("/dev/zero")), "device");
}

TEST(PracticeSettingsFile, DeeplyNestedFilesAreRefusedBeforeParsing) {
    // Nested as deep as the size limit allows: enough to exhaust the stack of a recursive parser
    // or free.
    const int depth = 65000;
    QByteArray body = "<dict><key>MUSIC_FILE</key>";
    body += QByteArray("<array>").repeated(depth);
    body += QByteArray("</array>").repeated(depth);
    body += "</dict>";
    const auto r = PracticeSettingsFile::parse(plistWith(body));
    expectUnreadable(r, "nested");
    EXPECT_TRUE(r.error.contains(QLatin1String("nested")));

    // A comment holding tags is not nesting.
    const auto commented = PracticeSettingsFile::parse(
        plistWith("<!-- " + QByteArray("<array>").repeated(100) +
                  " --><dict><key>MUSIC_TEMP</key><real>3</real></dict>"));
    ASSERT_TRUE(commented.settings.has_value()) << commented.error.toStdString();
    EXPECT_EQ(commented.settings->musicTempo, 3.0F);
}

// A few hundred bytes that libplist would expand to 2^18 (slowly built), 2^24 (3.7 GB) or 2^40
// nodes (a crash): each is refused before any tree is built, the deepest for its nesting.
TEST(PracticeSettingsFile, BinaryListsThatExpandBeyondTheLimitAreRefused) {
    for (int levels : {18, 24, 40}) {
        const QByteArray bomb = expansionBomb(levels);
        ASSERT_LT(bomb.size(), 300);
        const auto r = PracticeSettingsFile::parse(bomb);
        expectUnreadable(r, "bomb of " + std::to_string(levels) + " levels");
        EXPECT_TRUE(r.error.contains(QLatin1String(levels > 32 ? "nested" : "expand")))
            << r.error.toStdString();
    }
    // The same shape, small, is an ordinary file.
    const auto small = PracticeSettingsFile::parse(expansionBomb(3));
    ASSERT_TRUE(small.settings.has_value()) << small.error.toStdString();
    EXPECT_EQ(small.settings->musicFile, QStringLiteral("/m.wav"));
}

// Text that the XML parser skips (a processing instruction, a DOCTYPE's internal subset) must
// not close elements for the nesting count.
TEST(PracticeSettingsFile, NestingHiddenBehindSkippedXmlIsRefused) {
    const int depth = 5000;
    const QByteArray closers = QByteArray("</array>").repeated(depth);
    const QByteArray nested = "<dict><key>X</key>" + QByteArray("<array>").repeated(depth) +
                              closers + "</dict></plist>\n";
    const QByteArray hidden[] = {
        "<?xml version=\"1.0\"?>\n<?note " + closers + "?>\n<plist version=\"1.0\">",
        "<?xml version=\"1.0\"?>\n<!DOCTYPE plist [ " + closers + " ]>\n<plist version=\"1.0\">",
        "<?xml version=\"1.0\" note=\"" + closers + "\"?>\n<plist version=\"1.0\">",
        "<?xml version=\"1.0\"?>\n<plist version=\"1.0\" note=\"" + closers + "\">",
    };
    for (const QByteArray& head : hidden) {
        const auto r = PracticeSettingsFile::parse(head + nested);
        expectUnreadable(r, head.left(40).toStdString());
    }
    // The usual declaration and DOCTYPE still read.
    const auto usual = PracticeSettingsFile::parse(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE plist PUBLIC \"-//Apple//DTD "
        "PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n<plist "
        "version=\"1.0\"><dict><key>MUSIC_TEMP</key><real>4</real></dict></plist>\n");
    ASSERT_TRUE(usual.settings.has_value()) << usual.error.toStdString();
    EXPECT_EQ(usual.settings->musicTempo, 4.0F);
}

// libplist's writer has undefined behaviour for reals that are not finite or reach 2^63, and a
// path with a NUL or text that is not UTF-8 would read back as another path: such settings are
// refused with a reason and nothing is written.
TEST(PracticeSettingsFile, ValuesAndPathsThatCannotBeStoredFaithfullyAreRefused) {
    testsupport::TempDir dir;
    const QString path = QString::fromStdString(dir.file("edge.sps"));
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    std::vector<std::pair<std::string, PracticeSettings>> refused;
    for (float value : {float(nan), float(inf), -float(inf), 9.3e18F}) {
        PracticeSettings s = sampleSettings();
        s.musicTempo = value;
        refused.emplace_back("tempo " + std::to_string(value), s);
    }
    for (double bpm : {nan, 1e300}) {
        PracticeSettings s = sampleSettings();
        s.metronomBpm = QVariant(bpm);
        refused.emplace_back("bpm " + std::to_string(bpm), s);
    }
    const QString names[] = {
        QStringLiteral("/music/a") + QChar(u'\0') + QStringLiteral("b.wav"),
        QStringLiteral("/music/") + QChar(0xd800) + QStringLiteral(".wav"),
        QStringLiteral("/music/") + QChar(QChar::ReplacementCharacter) + QStringLiteral(".wav")};
    for (const QString& name : names) {
        PracticeSettings s = sampleSettings();
        s.musicFile = name;
        refused.emplace_back("path " + name.toStdString(), s);
    }
    for (const auto& [what, settings] : refused) {
        EXPECT_FALSE(PracticeSettingsFile::write(path, settings).isEmpty()) << what;
        EXPECT_FALSE(QFile::exists(path)) << what;
        EXPECT_TRUE(PracticeSettingsFile::toXml(settings).isEmpty()) << what;
    }
    // The largest real below 2^63 is stored.
    PracticeSettings edge = sampleSettings();
    edge.metronomBpm = QVariant(9223372036854774784.0);
    EXPECT_EQ(PracticeSettingsFile::write(path, edge), QString());

    const auto read = PracticeSettingsFile::parse(plistWith(
        "<dict><key>METRONOM_BPM</key><real>1e19</real><key>MUSIC_PITCH</key><real>nan</real>"
        "<key>METRONOM_BPM_AUTOSTART</key><real>-1e300</real></dict>"));
    ASSERT_TRUE(read.settings.has_value()) << read.error.toStdString();
    EXPECT_TRUE(std::isnan(read.settings->metronomBpm.toDouble()));
    EXPECT_TRUE(std::isnan(read.settings->musicPitch));
    EXPECT_EQ(read.settings->metronomAutostart, 0);
}

TEST(PracticeSettingsFile, BrokenAndRandomBytesNeverCrash) {
    const QByteArray good = PracticeSettingsFile::toXml(sampleSettings());
    // Every truncation of a good file.
    for (qsizetype n = 0; n < good.size(); ++n) {
        const auto r = PracticeSettingsFile::parse(good.left(n));
        EXPECT_NE(r.settings.has_value(), !r.error.isEmpty()) << n;
    }
    // Random bytes, and good files with random bytes changed.
    QRandomGenerator random(20240601);
    for (int round = 0; round < 300; ++round) {
        QByteArray data;
        if (round % 2 == 0) {
            data.resize(random.bounded(1, 4000));
            for (auto& c : data)
                c = static_cast<char>(random.bounded(256));
            if (round % 4 == 0)
                data.prepend("bplist00");
        } else {
            data = good;
            for (int k = 0; k < 8; ++k) {
                data[random.bounded(data.size())] = static_cast<char>(random.bounded(256));
            }
        }
        const auto r = PracticeSettingsFile::parse(data);
        EXPECT_NE(r.settings.has_value(), !r.error.isEmpty()) << round;
    }
}

TEST(PracticeSettingsFile, FailedSaveReportsAndLeavesThePreviousFile) {
    testsupport::TempDir dir;
    const PracticeSettings s = sampleSettings();

    const QString inMissingFolder = QString::fromStdString(dir.file("no/such/folder/a.sps"));
    EXPECT_FALSE(PracticeSettingsFile::write(inMissingFolder, s).isEmpty());
    EXPECT_FALSE(QFile::exists(inMissingFolder));

    const QString underAFile = writeText(dir, "plain", "x") + QStringLiteral("/a.sps");
    EXPECT_FALSE(PracticeSettingsFile::write(underAFile, s).isEmpty());

    // A disk that fills up during the write (the file size limit applies to every user, root
    // included): the previous file stays as it was and no temporary file is left.
    const QString path =
        writeText(dir, "kept.sps", PracticeSettingsFile::toXml(PracticeSettings{}));
    const QByteArray before = contentOf(path);
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 100;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const QString error = PracticeSettingsFile::write(path, s);
    ::setrlimit(RLIMIT_FSIZE, &old);
    ::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(contentOf(path), before);
    const QStringList left = QDir(QString::fromStdString(dir.path()))
                                 .entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    EXPECT_EQ(left, QStringList({QStringLiteral("kept.sps"), QStringLiteral("plain")}));
}

TEST(PracticeSettingsFile, ReadOnlyFolderOrFileReportsAndLeavesThePreviousFile) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "running as root: folder permissions do not apply";
    testsupport::TempDir dir;
    const QString path = writeText(dir, "kept.sps", "previous");
    const QString folder = QString::fromStdString(dir.path());
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    const QString error = PracticeSettingsFile::write(path, sampleSettings());
    QFile::setPermissions(folder,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(contentOf(path), QByteArray("previous"));

    // A write-protected file is not replaced behind its owner's back.
    QFile::setPermissions(path, QFileDevice::ReadOwner);
    EXPECT_FALSE(PracticeSettingsFile::write(path, sampleSettings()).isEmpty());
    EXPECT_EQ(contentOf(path), QByteArray("previous"));
}

// Saving keeps what a careful editor keeps: a symbolic link stays a link to the updated file, a
// private file stays private, a name of up to the file system's limit saves, and temporary
// files that a crashed save left behind are cleared.
TEST(PracticeSettingsFile, SavingKeepsLinksAndPermissionsAndClearsStaleTemporaries) {
    testsupport::TempDir dir;
    const PracticeSettings s = sampleSettings();
    const QString folder = QString::fromStdString(dir.path());

    const QString real = writeText(dir, "real.sps", "old");
    const QString link = folder + QStringLiteral("/link.sps");
    ASSERT_TRUE(QFile::link(real, link));
    ASSERT_EQ(PracticeSettingsFile::write(link, s), QString());
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_TRUE(PracticeSettingsFile::read(real).settings.has_value());

    const QString secret = writeText(dir, "private.sps", "old");
    ASSERT_EQ(::chmod(QFile::encodeName(secret).constData(), 0600), 0);
    ASSERT_EQ(PracticeSettingsFile::write(secret, s), QString());
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(secret).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    const QString longName = folder + QLatin1Char('/') + QString(246, QLatin1Char('n')) +
                             QStringLiteral(".sps");  // 250 characters
    EXPECT_EQ(PracticeSettingsFile::write(longName, s), QString());
    EXPECT_TRUE(PracticeSettingsFile::read(longName).settings.has_value());

    const QString stale = writeText(dir, ".kept.sps.tmp-0badf00d", "left by a crash");
    const QString recent = writeText(dir, ".kept.sps.tmp-12345678", "a save in progress");
    const QString foreign = writeText(dir, ".kept.sps.tmp-notours!", "someone else's");
    const timespec old[2] = {{0, UTIME_OMIT}, {std::time(nullptr) - 3600, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(stale).constData(), old, 0), 0);
    ASSERT_EQ(PracticeSettingsFile::write(folder + QStringLiteral("/kept.sps"), s), QString());
    EXPECT_FALSE(QFile::exists(stale));
    EXPECT_TRUE(QFile::exists(recent));
    EXPECT_TRUE(QFile::exists(foreign));
}
