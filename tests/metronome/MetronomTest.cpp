// The metronome on the real event loop: its interval arithmetic, its console lines, one timer at
// most, refused beat rates, and the click through a real engine on SDL's dummy output.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <cmath>
#include <limits>
#include <thread>
#include <vector>

#include "MetronomFixture.h"
#include "audiolib/audiolib.h"
#include "metronome/Metronom.h"

namespace {

// Runs `action` and returns what it wrote to stderr (where the console goes).
template <typename F>
std::string consoleOf(F action) {
    ::testing::internal::CaptureStderr();
    action();
    return ::testing::internal::GetCapturedStderr();
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

}  // namespace

TEST(MetronomInterval, IsSixtyOverBpmInSinglePrecision) {
    EXPECT_EQ(Metronom::tickInterval(QVariant(120)), 0.5);
    EXPECT_EQ(Metronom::tickInterval(QVariant(90)), 0.666666686534881591796875);
    EXPECT_EQ(Metronom::tickInterval(QVariant(128)), 0.46875);
    // A real beat rate (from a settings file) is divided as a float too.
    EXPECT_EQ(Metronom::tickInterval(QVariant(100.7)), static_cast<double>(60.0F / 100.7F));
    EXPECT_EQ(Metronom::tickInterval(QVariant(qlonglong(400))), 0.15000000596046448);
}

TEST(MetronomInterval, RefusesRatesNoIntervalCanBeMadeOf) {
    for (const QVariant& bpm :
         {QVariant(), QVariant(0), QVariant(-120), QVariant(0.5), QVariant(1001),
          QVariant(qlonglong(1) << 40), QVariant(std::numeric_limits<double>::quiet_NaN()),
          QVariant(std::numeric_limits<double>::infinity()), QVariant(QStringLiteral("120"))}) {
        EXPECT_FALSE(Metronom::tickInterval(bpm).has_value()) << bpm.toString().toStdString();
    }
    EXPECT_TRUE(Metronom::tickInterval(QVariant(1)).has_value());
    EXPECT_TRUE(Metronom::tickInterval(QVariant(1000)).has_value());
}

TEST(Metronom, StartLogsTheRateAndIntervalAndTicksOneIntervalLater) {
    Metronom m;
    m.setNumberBPM(QVariant(90));
    bool started = false;
    const std::string out = consoleOf([&] { started = m.start(); });
    ASSERT_TRUE(started);
    EXPECT_TRUE(contains(out, "Metronom:start BPM 90 interval: 0.666667\n")) << out;
    EXPECT_TRUE(m.isRunning());
    EXPECT_EQ(m.schedule().due(1) - m.schedule().start(),
              std::chrono::nanoseconds(std::llround(0.666666686534881591796875 * 1e9)));

    // Never early: the first click comes at or after its due time.
    TickSchedule::Clock::time_point firstTick{};
    QObject::connect(&m, &Metronom::ticked, &m, [&](qint64 n) {
        if (n == 1)
            firstTick = TickSchedule::Clock::now();
    });
    QSignalSpy ticks(&m, &Metronom::ticked);
    bool ticked = false;
    const std::string ticking = consoleOf([&] { ticked = ticks.wait(5000); });
    ASSERT_TRUE(ticked);
    EXPECT_TRUE(contains(ticking, "Metronom.updateTick\n")) << ticking;
    if (ticks.first().first().toLongLong() == 1) {
        EXPECT_GE(firstTick, m.schedule().due(1));
    }
    m.stop();

    // A real beat rate (from a settings file) is logged with its whole-number part.
    m.setNumberBPM(QVariant(100.7));
    const std::string real = consoleOf([&] { m.start(); });
    EXPECT_TRUE(contains(real, "Metronom:start BPM 100 interval: 0.595829")) << real;
    m.stop();
}

TEST(Metronom, RestartLeavesOneTimerAtTheNewRate) {
    Metronom m;
    m.setNumberBPM(QVariant(120));
    ASSERT_TRUE(m.start());
    m.setNumberBPM(QVariant(400));
    ASSERT_TRUE(m.start());
    EXPECT_EQ(m.findChildren<QTimer*>().size(), 1);
    EXPECT_EQ(m.schedule().intervalSeconds(), static_cast<double>(60.0F / 400.0F));

    // A BPM set while running waits for the next start.
    m.setNumberBPM(QVariant(60));
    EXPECT_EQ(m.schedule().intervalSeconds(), static_cast<double>(60.0F / 400.0F));

    QSignalSpy ticks(&m, &Metronom::ticked);
    ASSERT_TRUE(QTest::qWaitFor([&] { return ticks.count() >= 2; }, 5000));
    // Numbers of the new schedule: they count from 1 again and only rise.
    const qint64 first = ticks.at(0).at(0).toLongLong();
    EXPECT_GE(first, 1);
    EXPECT_GT(ticks.at(1).at(0).toLongLong(), first);
    EXPECT_EQ(m.findChildren<QTimer*>().size(), 1);
    m.stop();
}

TEST(Metronom, StopSilencesItCompletely) {
    Metronom m;
    m.setNumberBPM(QVariant(1000));
    ASSERT_TRUE(m.start());
    QSignalSpy ticks(&m, &Metronom::ticked);
    ASSERT_TRUE(ticks.wait(5000));
    m.stop();
    EXPECT_FALSE(m.isRunning());
    ticks.clear();
    QTest::qWait(300);  // five intervals at 1000 BPM
    EXPECT_EQ(ticks.count(), 0);
    m.stop();  // stopping a stopped metronome does nothing
    EXPECT_FALSE(m.isRunning());
}

TEST(Metronom, StopFromATickHandlerEndsTheTicking) {
    Metronom m;
    m.setNumberBPM(QVariant(1000));
    QObject::connect(&m, &Metronom::ticked, &m, [&m] { m.stop(); });
    QSignalSpy ticks(&m, &Metronom::ticked);
    ASSERT_TRUE(m.start());
    ASSERT_TRUE(ticks.wait(5000));
    QTest::qWait(200);
    EXPECT_EQ(ticks.count(), 1);
}

TEST(Metronom, TicksDueWhileTheMainThreadIsBusyAreDropped) {
    Metronom m;
    m.setNumberBPM(QVariant(400));  // 150 ms
    std::vector<qint64> numbers;
    QObject::connect(&m, &Metronom::ticked, &m, [&](qint64 n) {
        numbers.push_back(n);
        m.stop();
    });
    ASSERT_TRUE(m.start());
    // The main thread does not return to its loop for more than two intervals.
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !numbers.empty(); }, 5000));
    // The first click is for the latest due tick: the missed ones are not played first.
    ASSERT_EQ(numbers.size(), 1U);
    EXPECT_GE(numbers[0], 2);
}

TEST(Metronom, UnusableBpmDoesNotStartAndSaysWhy) {
    for (const QVariant& bpm : {QVariant(), QVariant(0), QVariant(-5), QVariant(5000)}) {
        Metronom m;
        m.setNumberBPM(bpm);
        bool started = true;
        const std::string out = consoleOf([&] { started = m.start(); });
        EXPECT_FALSE(started);
        EXPECT_FALSE(m.isRunning());
        EXPECT_TRUE(contains(out, "the metronome stays stopped")) << out;
        EXPECT_FALSE(contains(out, "interval:")) << out;
    }
    // A refused restart does not leave the old rate ticking.
    Metronom m;
    m.setNumberBPM(QVariant(120));
    ASSERT_TRUE(m.start());
    m.setNumberBPM(QVariant(0));
    consoleOf([&] { EXPECT_FALSE(m.start()); });
    EXPECT_FALSE(m.isRunning());
    QSignalSpy ticks(&m, &Metronom::ticked);
    QTest::qWait(700);
    EXPECT_EQ(ticks.count(), 0);
}

TEST_F(MetronomEngineTest, ClickIsLoadedOnceAndPlayedAtItsVolume) {
    if (!startEngine())
        GTEST_SKIP() << "no output device, not even SDL's dummy";
    const QString click = clickFile();
    Metronom m;
    m.appendSoundEngine(&engine_, click);
    ASSERT_NE(m.soundClick(), 0U);
    EXPECT_TRUE(
        contains(log(), "SoundEngine.loadSample: channel: " + std::to_string(m.soundClick()) +
                            " loaded file: " + click.toStdString()));

    m.setVolume(Metronom::kStartVolume);
    float level = 0.0F;
    ASSERT_TRUE(BASS_ChannelGetAttribute(m.soundClick(), BASS_ATTRIB_VOL, &level));
    EXPECT_FLOAT_EQ(level, 0.95F);
    m.setVolume(40.0F);
    ASSERT_TRUE(BASS_ChannelGetAttribute(m.soundClick(), BASS_ATTRIB_VOL, &level));
    EXPECT_FLOAT_EQ(level, 0.40F);

    m.updateTick();
    EXPECT_EQ(BASS_ChannelIsActive(m.soundClick()), BASS_ACTIVE_PLAYING);
}

TEST_F(MetronomEngineTest, WithoutAClickItStillTicksInSilence) {
    if (!startEngine())
        GTEST_SKIP() << "no output device, not even SDL's dummy";
    Metronom m;
    m.appendSoundEngine(&engine_, QString::fromStdString(dir_.file("missing/click.wav")));
    EXPECT_EQ(m.soundClick(), 0U);
    EXPECT_TRUE(contains(log(), "SoundEngine.loadSample: ERROR CODE: "));
    m.setVolume(50.0F);  // no effect, no crash

    m.setNumberBPM(QVariant(1000));
    QSignalSpy ticks(&m, &Metronom::ticked);
    ASSERT_TRUE(m.start());
    ASSERT_TRUE(ticks.wait(5000));
    m.stop();
    EXPECT_TRUE(contains(log(), "SoundEngine.playSound ERROR CODE: "));
}

TEST_F(MetronomEngineTest, TheClickComesFromTheResourceFolderByDefault) {
    const char* resources = std::getenv("TONVERA_TEST_RESOURCES");
    if (!resources)
        GTEST_SKIP() << "TONVERA_TEST_RESOURCES is not set (run through ctest)";
    if (!startEngine())
        GTEST_SKIP() << "no output device, not even SDL's dummy";
    ::setenv("TONVERA_RESOURCE_DIR", resources, 1);
    Metronom m;
    m.appendSoundEngine(&engine_);
    ::unsetenv("TONVERA_RESOURCE_DIR");
    EXPECT_NE(m.soundClick(), 0U);
    EXPECT_TRUE(contains(log(), "/click.wav"));
}
