// Settings files against an independent implementation of the format: Python's standard
// plistlib writes files we must open, and reads ours with the value types other programs expect.
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include "formats/PracticeSettingsFile.h"
#include "support/TempHome.h"

namespace {

class PlistlibTest : public ::testing::Test {
  protected:
    void SetUp() override {
        python_ = QStandardPaths::findExecutable(QStringLiteral("python3"));
        if (python_.isEmpty())
            GTEST_SKIP() << "python3 is not installed";
    }

    // Runs a Python script with the given arguments; its standard output, or a failure.
    ::testing::AssertionResult runPython(const QByteArray& script, const QStringList& arguments,
                                         QByteArray* out) {
        const QString path = QString::fromStdString(dir_.file("check.py"));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(script) != script.size()) {
            return ::testing::AssertionFailure() << "cannot write the script";
        }
        file.close();
        QProcess python;
        python.start(python_, QStringList{path} + arguments);
        if (!python.waitForFinished(60000)) {
            python.kill();
            python.waitForFinished(5000);
            return ::testing::AssertionFailure() << "python3 did not finish within 60 s";
        }
        *out = python.readAllStandardOutput();
        if (python.exitStatus() != QProcess::NormalExit || python.exitCode() != 0) {
            return ::testing::AssertionFailure()
                   << "python3 failed: " << python.readAllStandardError().toStdString();
        }
        return ::testing::AssertionSuccess();
    }

    testsupport::TempDir dir_;
    QString python_;
};

}  // namespace

TEST_F(PlistlibTest, FilesWrittenByPlistlibOpen) {
    const QByteArray script = R"PY(
import plistlib, sys
settings = {
    "MUSIC_FILE": "/home/musician/Übungen/Stück – 1.wav",
    "MUSIC_VOLUME": 80.5,
    "MUSIC_TEMP": -12.25,
    "MUSIC_SAMPLERATE": 47000,
    "MUSIC_PITCH": 2.0,
    "METRONOM_BPM": 108,
    "METRONOM_BPM_AUTOSTART": True,
    "METRONOM_VOLUME": 33.0,
    "NOTES": ["slow first", {"bar": 12}],
}
with open(sys.argv[1], "wb") as f:
    plistlib.dump(settings, f)
with open(sys.argv[2], "wb") as f:
    plistlib.dump(settings, f, fmt=plistlib.FMT_BINARY)
)PY";
    const QString xml = QString::fromStdString(dir_.file("from python.sps"));
    const QString binary = QString::fromStdString(dir_.file("from python binary.sps"));
    QByteArray out;
    ASSERT_TRUE(runPython(script, {xml, binary}, &out));

    for (const QString& path : {xml, binary}) {
        const auto r = PracticeSettingsFile::read(path);
        ASSERT_TRUE(r.settings.has_value()) << path.toStdString() << ": " << r.error.toStdString();
        const PracticeSettings& s = *r.settings;
        EXPECT_EQ(s.musicFile, QStringLiteral("/home/musician/Übungen/Stück – 1.wav"));
        EXPECT_EQ(s.musicVolume, 80.5F);
        EXPECT_EQ(s.musicTempo, -12.25F);
        EXPECT_EQ(s.musicSamplerate, 47000.0F);
        EXPECT_EQ(s.musicPitch, 2.0F);
        EXPECT_EQ(s.metronomBpm.toLongLong(), 108);
        EXPECT_EQ(s.metronomAutostart, 1);
        EXPECT_EQ(s.metronomVolume, 33.0F);
    }
}

TEST_F(PlistlibTest, OurFilesLoadInPlistlibWithTheRightTypes) {
    const PracticeSettings s{
        .musicFile = QStringLiteral("/music/Étude – 練習.m4a"),
        .musicVolume = 75.0F,
        .musicTempo = 12.34F,
        .musicSamplerate = 44100.0F,
        .musicPitch = -3.5F,
        .metronomBpm = QVariant(qlonglong(-1)),  // negative integers survive too
        .metronomAutostart = 1,
        .metronomVolume = 95.0F,
    };
    const QString path = QString::fromStdString(dir_.file("ours.sps"));
    ASSERT_EQ(PracticeSettingsFile::write(path, s), QString());

    const QByteArray script = R"PY(
import plistlib, sys
with open(sys.argv[1], "rb") as f:
    d = plistlib.load(f)
for key in sorted(d):
    v = d[key]
    print(key, type(v).__name__, repr(v))
)PY";
    QByteArray out;
    ASSERT_TRUE(runPython(script, {path}, &out));
    const QString text = QString::fromUtf8(out);
    const QStringList expected = {
        QStringLiteral("METRONOM_BPM int -1"),
        QStringLiteral("METRONOM_BPM_AUTOSTART int 1"),
        QStringLiteral("METRONOM_VOLUME float 95.0"),
        QStringLiteral("MUSIC_FILE str '/music/Étude – 練習.m4a'"),
        QStringLiteral("MUSIC_PITCH float -3.5"),
        QStringLiteral("MUSIC_SAMPLERATE float 44100.0"),
        QStringLiteral("MUSIC_TEMP float 12.34000015258789"),
        QStringLiteral("MUSIC_VOLUME float 75.0"),
    };
    EXPECT_EQ(text.trimmed().toStdString(), expected.join(QLatin1Char('\n')).toStdString());
}

// The practice and hearing tools' keys go through plistlib and back: read, written again (with
// what a careless program may add), read by us.
TEST_F(PlistlibTest, ThePracticeToolsKeysSurviveAPlistlibRoundTrip) {
    PracticeSettings s;
    s.musicFile = QStringLiteral("/music/song.ogg");
    s.loop = LoopRange{30.375, 36.61, true};
    s.trainer = TrainerPlan{-30.0F, 0.0F, 10.0F, 2, true};
    s.countIn = CountIn{1, 7, true};
    s.markers =
        std::vector<Marker>{{12.5, QStringLiteral("Verse")}, {40.25, QStringLiteral("Chorus – 2")}};
    s.tuningCents = -18.0F;
    formats::HearingSettings hearing;
    hearing.channels = formats::ChannelChoice::Swapped;
    hearing.focus = formats::FocusSpec{formats::FocusBand::Custom, 110.0F, 0.5F, -9.0F};
    hearing.centreCancel = true;
    s.hearing = hearing;
    const QString ours = QString::fromStdString(dir_.file("tools.sps"));
    const QString again = QString::fromStdString(dir_.file("again.sps"));
    ASSERT_EQ(PracticeSettingsFile::write(ours, s), QString());
    const QByteArray script = R"PY(
import plistlib, sys
with open(sys.argv[1], "rb") as f:
    d = plistlib.load(f)
assert d["LOOP_START"] == 30.375 and d["LOOP_ON"] == 1 and d["COUNT_IN_BEATS_PER_BAR"] == 7
assert d["MARKERS"] == [{"TIME": 12.5, "NAME": "Verse"}, {"TIME": 40.25, "NAME": "Chorus – 2"}]
assert d["TUNING_CENTS"] == -18.0 and d["CHANNELS"] == 4 and d["CENTRE_CANCEL"] == 1
assert d["FOCUS_BAND"] == 4 and d["FOCUS_CENTRE_HZ"] == 110.0 and d["FOCUS_GAIN_DB"] == -9.0
if sys.argv[3] == "hostile":
    d.update(TUNING_CENTS=75.5, CHANNELS=9, FOCUS_WIDTH_OCTAVES=0.0)
# What another program may write: a whole-second time without a name, and no place at all.
d["MARKERS"] += [{"TIME": 50}, {"TIME": -3.0, "NAME": "before the song"}, "not a marker"]
with open(sys.argv[2], "wb") as f:
    plistlib.dump(d, f)
)PY";
    QByteArray out;
    ASSERT_TRUE(runPython(script, {ours, again, QStringLiteral("hostile")}, &out));
    // Values out of range are the tool unused, never passed on: no tuning, stereo, no focus.
    const PracticeSettingsReadResult hostile = PracticeSettingsFile::read(again);
    ASSERT_TRUE(hostile.settings) << hostile.error.toStdString();
    EXPECT_FALSE(hostile.settings->tuningCents);
    formats::HearingSettings cancelOnly;
    cancelOnly.centreCancel = true;
    EXPECT_EQ(hostile.settings->hearing, cancelOnly);

    ASSERT_TRUE(runPython(script, {ours, again, QStringLiteral("kept")}, &out));
    const PracticeSettingsReadResult read = PracticeSettingsFile::read(again);
    ASSERT_TRUE(read.settings) << read.error.toStdString();
    EXPECT_EQ(read.settings->loop, s.loop);
    EXPECT_EQ(read.settings->trainer, s.trainer);
    EXPECT_EQ(read.settings->countIn, s.countIn);
    const std::vector<Marker> markers{
        {12.5, QStringLiteral("Verse")}, {40.25, QStringLiteral("Chorus – 2")}, {50.0, QString()}};
    EXPECT_EQ(read.settings->markers, markers);
    EXPECT_EQ(read.settings->tuningCents, s.tuningCents);
    EXPECT_EQ(read.settings->hearing, s.hearing);
}
