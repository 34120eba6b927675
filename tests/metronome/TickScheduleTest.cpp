// The beat schedule's rules, on made-up time points: no waiting, no wall clock.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>

#include "metronome/TickSchedule.h"

using namespace std::chrono_literals;
using Clock = TickSchedule::Clock;

namespace {

const Clock::time_point t0 = Clock::time_point(1000s);

}  // namespace

TEST(TickSchedule, TicksFallDueWholeIntervalsAfterTheStartWithoutDrift) {
    TickSchedule s;
    s.begin(t0, 0.5);
    EXPECT_EQ(s.due(1), t0 + 500ms);
    EXPECT_EQ(s.due(120), t0 + 60s);
    // The single-precision interval of 90 BPM: after an hour the due time is n * interval from
    // the start, not the sum of rounded steps.
    const double interval90 = static_cast<double>(60.0F / 90.0F);
    s.begin(t0, interval90);
    EXPECT_EQ(s.due(5400) - t0, std::chrono::nanoseconds(std::llround(5400 * interval90 * 1e9)));
    EXPECT_EQ(s.due(5400) - t0, 3600000107288ns);  // the float quotient is a little above 2/3
}

TEST(TickSchedule, EarlyWakeDoesNotTickAndSaysHowLongToWait) {
    TickSchedule s;
    s.begin(t0, 0.5);
    const auto w = s.wake(t0 + 499ms);
    EXPECT_FALSE(w.tick);
    EXPECT_EQ(s.nextTick(), 1);
    EXPECT_EQ(s.untilNext(t0 + 499ms), 1ms);
    EXPECT_EQ(s.untilNext(t0 + 700ms), Clock::duration::zero());
}

TEST(TickSchedule, ALateTickDoesNotShiftTheLaterOnes) {
    TickSchedule s;
    s.begin(t0, 0.5);
    auto w = s.wake(t0 + 500ms);
    ASSERT_TRUE(w.tick);
    EXPECT_EQ(w.number, 1);
    EXPECT_EQ(w.dropped, 0);

    // Tick 2 comes 40 ms late; tick 3 is still due at 1.5 s, not 40 ms later.
    w = s.wake(t0 + 1040ms);
    ASSERT_TRUE(w.tick);
    EXPECT_EQ(w.number, 2);
    EXPECT_EQ(w.dropped, 0);
    EXPECT_EQ(s.untilNext(t0 + 1040ms), 460ms);
}

TEST(TickSchedule, TicksThatFellDueWhileBusyAreDroppedNotBurst) {
    TickSchedule s;
    s.begin(t0, 0.5);
    ASSERT_TRUE(s.wake(t0 + 500ms).tick);
    // The main thread was busy until 2.2 s: ticks 2, 3 and 4 are due. One click, for tick 4.
    auto w = s.wake(t0 + 2200ms);
    ASSERT_TRUE(w.tick);
    EXPECT_EQ(w.number, 4);
    EXPECT_EQ(w.dropped, 2);
    EXPECT_EQ(s.nextTick(), 5);
    // An immediate second wake finds nothing due.
    EXPECT_FALSE(s.wake(t0 + 2200ms).tick);
    EXPECT_EQ(s.untilNext(t0 + 2200ms), 300ms);
}

TEST(TickSchedule, ExactBoundariesCountAsDue) {
    TickSchedule s;
    s.begin(t0, 0.46875);  // 128 BPM
    auto w = s.wake(s.due(3));
    ASSERT_TRUE(w.tick);
    EXPECT_EQ(w.number, 3);
    EXPECT_FALSE(s.wake(s.due(4) - 1ns).tick);
    w = s.wake(s.due(4));
    EXPECT_EQ(w.number, 4);
}
