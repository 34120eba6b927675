// The resource folder the program finds at run time, and the files the project made for it.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <cstdint>
#include <cstdlib>
#include <fstream>

#include "player/TonveraAppDelegate.h"
#include "support/TempHome.h"
#include "ui/ResourcePaths.h"

namespace {

QString resourceFolderOrSkip() {
    const QString folder = TonveraAppDelegate::getApplicationPath();
    return QFileInfo(QDir(folder).filePath("icon_play.png")).isFile() ? folder : QString();
}

void touch(const QString& path) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
}

std::uint32_t le32(const QByteArray& b, int at) {
    return std::uint32_t(std::uint8_t(b[at])) | std::uint32_t(std::uint8_t(b[at + 1])) << 8 |
           std::uint32_t(std::uint8_t(b[at + 2])) << 16 |
           std::uint32_t(std::uint8_t(b[at + 3])) << 24;
}

std::uint16_t le16(const QByteArray& b, int at) {
    return std::uint16_t(std::uint8_t(b[at]) | std::uint8_t(b[at + 1]) << 8);
}

}  // namespace

TEST(ResourcePaths, TheFirstFolderHoldingTheFilesWins) {
    testsupport::TempDir tmp;
    const QString root = QString::fromStdString(tmp.path());
    const QString exeDir = root + "/build/tests/player";
    const QString installed = root + "/prefix/share/tonvera";
    QDir().mkpath(exeDir);

    // Nothing anywhere: the install folder is named, so messages point where files belong.
    EXPECT_EQ(resources::locateFolder({}, exeDir, installed), installed);

    touch(root + "/build/resources/icon_play.png");  // a test program in the build tree
    EXPECT_EQ(resources::locateFolder({}, exeDir, installed), root + "/build/resources");

    touch(installed + "/icon_play.png");
    EXPECT_EQ(resources::locateFolder({}, exeDir, installed), installed);

    touch(exeDir + "/../share/tonvera/icon_play.png");  // a moved install
    EXPECT_EQ(resources::locateFolder({}, exeDir, installed),
              QDir::cleanPath(exeDir + "/../share/tonvera"));

    touch(exeDir + "/resources/icon_play.png");  // beside the built program
    EXPECT_EQ(resources::locateFolder({}, exeDir, installed), exeDir + "/resources");

    touch(root + "/override/icon_play.png");
    EXPECT_EQ(resources::locateFolder(root + "/override", exeDir, installed), root + "/override");
    // An override without the files is passed over.
    EXPECT_EQ(resources::locateFolder(root + "/empty", exeDir, installed), exeDir + "/resources");
}

TEST(ResourcePaths, TheProgramsFilesResolveThroughTheFormats) {
    const QString folder = resourceFolderOrSkip();
    if (folder.isEmpty()) {
        GTEST_SKIP() << "no resource folder (run through CTest, which names the build tree's)";
    }
    EXPECT_EQ(resources::path(resources::kIconPlayFormat), folder + "/icon_play.png");
    for (const char* format :
         {resources::kIconPlayFormat, resources::kIconPauseFormat, resources::kClickSoundFormat}) {
        EXPECT_TRUE(QFileInfo(resources::path(format)).isFile()) << format;
    }
    const QImage play(resources::path(resources::kIconPlayFormat));
    const QImage pause(resources::path(resources::kIconPauseFormat));
    ASSERT_FALSE(play.isNull());
    ASSERT_FALSE(pause.isNull());
    EXPECT_EQ(play.size(), pause.size());
    EXPECT_TRUE(play.hasAlphaChannel());
    EXPECT_NE(play, pause);
}

TEST(ClickSound, IsAShortMonoClickThatStartsAndEndsInSilence) {
    const QString folder = resourceFolderOrSkip();
    if (folder.isEmpty()) {
        GTEST_SKIP() << "no resource folder (run through CTest, which names the build tree's)";
    }
    QFile file(resources::path(resources::kClickSoundFormat));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray b = file.readAll();
    ASSERT_GE(b.size(), 44);
    EXPECT_EQ(b.mid(0, 4), "RIFF");
    EXPECT_EQ(b.mid(8, 4), "WAVE");
    EXPECT_EQ(b.mid(12, 4), "fmt ");
    EXPECT_EQ(le16(b, 20), 1);       // PCM
    EXPECT_EQ(le16(b, 22), 1);       // mono
    EXPECT_EQ(le32(b, 24), 44100U);  // Hz
    EXPECT_EQ(le16(b, 34), 16);      // bits
    ASSERT_EQ(b.mid(36, 4), "data");
    const std::uint32_t bytes = le32(b, 40);
    ASSERT_EQ(b.size(), 44 + int(bytes));
    const double ms = bytes / 2 / 44.1;
    EXPECT_GE(ms, 30.0);
    EXPECT_LE(ms, 50.0);

    int peak = 0;
    int peakAt = 0;
    const int frames = int(bytes / 2);
    for (int i = 0; i < frames; ++i) {
        const int v = std::abs(int(std::int16_t(le16(b, 44 + 2 * i))));
        if (v > peak) {
            peak = v;
            peakAt = i;
        }
    }
    EXPECT_GT(peak, 16000) << "loud enough to hear over music";
    EXPECT_LT(peakAt, 441) << "percussive: the peak within the first 10 ms";
    // No step at either end (a step is a click of its own).
    EXPECT_LT(std::abs(int(std::int16_t(le16(b, 44)))), 2000);
    EXPECT_EQ(le16(b, 44 + 2 * (frames - 1)), 0);
}

TEST(DesktopEntry, DeclaresTheProgramItsIconAndTheAudioTypesItOpens) {
    const QString folder = resourceFolderOrSkip();
    if (folder.isEmpty()) {
        GTEST_SKIP() << "no resource folder (run through CTest, which names the build tree's)";
    }
    const QString desktop = folder + "/tonvera.desktop";
    QFile file(desktop);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly | QIODevice::Text));
    QMap<QString, QString> keys;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const int eq = line.indexOf('=');
        if (eq > 0)
            keys[QString::fromUtf8(line.left(eq))] = QString::fromUtf8(line.mid(eq + 1));
    }
    EXPECT_EQ(keys["Type"], "Application");
    EXPECT_EQ(keys["Exec"], "tonvera %f");
    EXPECT_EQ(keys["Icon"], "tonvera");
    const QStringList types = keys["MimeType"].split(';', Qt::SkipEmptyParts);
    for (const char* t : {"audio/x-wav", "audio/mpeg", "audio/mp4", "audio/ogg", "audio/x-aiff"}) {
        EXPECT_TRUE(types.contains(t)) << t;
    }
    EXPECT_TRUE(QFileInfo(folder + "/tonvera.png").isFile());
    EXPECT_TRUE(QFileInfo(folder + "/tonvera.svg").isFile());

    const QString validator = QStandardPaths::findExecutable("desktop-file-validate");
    if (validator.isEmpty()) {
        GTEST_SKIP() << "desktop-file-validate not installed (package desktop-file-utils)";
    }
    QProcess run;
    run.start(validator, {desktop});
    ASSERT_TRUE(run.waitForFinished(30000));
    EXPECT_EQ(run.exitCode(), 0) << run.readAllStandardOutput().toStdString()
                                 << run.readAllStandardError().toStdString();
}
