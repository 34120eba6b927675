#include "metronome/TickSchedule.h"

#include <cmath>

void TickSchedule::begin(Clock::time_point start, double intervalSeconds) {
    start_ = start;
    intervalSeconds_ = intervalSeconds;
    next_ = 1;
}

TickSchedule::Clock::time_point TickSchedule::due(std::int64_t n) const {
    // Each due time is computed from the start, never by adding intervals up, so rounding does
    // not accumulate into a drift over a long practice session.
    const double offsetNs = static_cast<double>(n) * intervalSeconds_ * 1e9;
    return start_ + std::chrono::duration_cast<Clock::duration>(
                        std::chrono::nanoseconds(std::llround(offsetNs)));
}

TickSchedule::Wake TickSchedule::wake(Clock::time_point now) {
    Wake result;
    if (now < due(next_)) {
        return result;
    }
    // The latest tick already due: floor of the elapsed intervals, corrected by one in either
    // direction where the division and due() disagree on a boundary.
    const double elapsed = std::chrono::duration<double>(now - start_).count();
    std::int64_t latest = static_cast<std::int64_t>(std::floor(elapsed / intervalSeconds_));
    if (latest < next_)
        latest = next_;
    while (due(latest) > now && latest > next_)
        --latest;
    while (due(latest + 1) <= now)
        ++latest;

    result.tick = true;
    result.number = latest;
    result.dropped = latest - next_;
    next_ = latest + 1;
    return result;
}

TickSchedule::Clock::duration TickSchedule::untilNext(Clock::time_point now) const {
    const Clock::time_point next = due(next_);
    return next > now ? next - now : Clock::duration::zero();
}
