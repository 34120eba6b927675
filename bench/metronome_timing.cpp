// How closely the metronome's clicks keep their schedule on the main event loop: every tick's
// lateness against its due time (tick n due n intervals after the start), the mean and the worst,
// and how many ticks were dropped because the loop was late by more than an interval.
//
//   metronome_timing [seconds=60] [bpm=120] [--engine]
//
// With --engine the clicks go through the real sound engine (SDL's dummy output unless
// SDL_AUDIODRIVER says otherwise), so the time a click takes to start counts as well; without
// it, a tick only counts.
#include <QApplication>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/SoundEngine.h"
#include "logging/Logger.h"
#include "metronome/Metronom.h"
#include "support/AudioFixtures.h"
#include "support/TempHome.h"

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::setenv("SDL_AUDIODRIVER", "dummy", 0);
    double seconds = 60.0;
    int bpm = 120;
    bool withEngine = false;
    std::vector<std::string> numbers;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--engine") == 0) {
            withEngine = true;
        } else {
            numbers.emplace_back(argv[i]);
        }
    }
    if (!numbers.empty())
        seconds = std::atof(numbers[0].c_str());
    if (numbers.size() > 1)
        bpm = std::atoi(numbers[1].c_str());
    if (!(seconds > 0.0)) {
        std::fprintf(stderr, "usage: %s [seconds>0] [bpm] [--engine]\n", argv[0]);
        return 2;
    }

    QApplication app(argc, argv);
    testsupport::TempDir dir;
    Logger::sharedSingleton().open(dir.file("log.txt"));
    SoundEngine engine;
    Metronom metronom;
    if (withEngine) {
        if (!engine.initialize()) {
            std::fprintf(stderr, "no output device\n");
            return 1;
        }
        const std::string click = dir.file("click.wav");
        testsupport::writeWav(click, testsupport::clicks(1.0, 0.02, 44100, 1), 44100, 1,
                              testsupport::WavSampleFormat::S16);
        metronom.appendSoundEngine(&engine, QString::fromStdString(click));
        metronom.setVolume(0.0F);
    }

    std::vector<double> lateMs;
    qint64 lastTick = 0;
    qint64 dropped = 0;
    QObject::connect(&metronom, &Metronom::ticked, &metronom, [&](qint64 n) {
        const auto now = TickSchedule::Clock::now();
        lateMs.push_back(
            std::chrono::duration<double, std::milli>(now - metronom.schedule().due(n)).count());
        dropped += n - lastTick - 1;
        lastTick = n;
    });

    metronom.setNumberBPM(QVariant(bpm));
    if (!metronom.start()) {
        return 2;
    }
    QTimer::singleShot(std::chrono::milliseconds(static_cast<long long>(seconds * 1000.0)), &app,
                       [&] {
                           metronom.stop();
                           app.quit();
                       });
    app.exec();
    if (withEngine) {
        engine.reset();
        engine.close();
    }

    if (lateMs.empty()) {
        std::printf("no tick within %.1f s\n", seconds);
        return 1;
    }
    double sum = 0.0;
    for (double v : lateMs)
        sum += v;
    std::vector<double> sorted = lateMs;
    std::sort(sorted.begin(), sorted.end());
    const auto at = [&](double q) {
        return sorted[std::min(sorted.size() - 1, static_cast<std::size_t>(q * sorted.size()))];
    };
    std::printf("metronome %d BPM for %.1f s (%s), interval %.6f s\n", bpm, seconds,
                withEngine ? "clicks through the engine" : "ticks only",
                metronom.schedule().intervalSeconds());
    std::printf("ticks: %zu played, %lld dropped\n", lateMs.size(),
                static_cast<long long>(dropped));
    std::printf(
        "lateness against the schedule (ms): mean %.3f, median %.3f, p99 %.3f, worst %.3f, "
        "earliest %.3f\n",
        sum / static_cast<double>(lateMs.size()), at(0.5), at(0.99), sorted.back(), sorted.front());
    return 0;
}
