// The metronome's beat schedule: tick n falls due exactly n intervals after the start, whatever
// the timer's lateness on earlier ticks. Pure arithmetic on steady-clock time points, so its rules
// are tested without waiting.
#ifndef TONVERA_METRONOME_TICKSCHEDULE_H
#define TONVERA_METRONOME_TICKSCHEDULE_H

#include <chrono>
#include <cstdint>

class TickSchedule {
  public:
    using Clock = std::chrono::steady_clock;

    // What to do when the timer wakes.
    struct Wake {
        bool tick = false;         // play one click now
        std::int64_t number = 0;   // the tick played (1 = the first), when tick is true
        std::int64_t dropped = 0;  // ticks that fell due unplayed since the last one
    };

    // Starts a new schedule; tick 1 falls due one interval after `start`. `intervalSeconds` must
    // be above 0 (the metronome checks it before).
    void begin(Clock::time_point start, double intervalSeconds);

    // The timer woke at `now`. Before the next tick is due: no tick (the timer woke early). When
    // one or more ticks are due, one click is played for the latest of them and the earlier ones
    // are dropped, so a main thread that was busy never causes a burst of clicks.
    Wake wake(Clock::time_point now);

    // How long from `now` until the next tick is due; zero when it is already due.
    Clock::duration untilNext(Clock::time_point now) const;

    Clock::time_point start() const { return start_; }
    double intervalSeconds() const { return intervalSeconds_; }
    std::int64_t nextTick() const { return next_; }
    // When tick n falls due.
    Clock::time_point due(std::int64_t n) const;

  private:
    Clock::time_point start_{};
    double intervalSeconds_ = 0.0;
    std::int64_t next_ = 1;
};

#endif
