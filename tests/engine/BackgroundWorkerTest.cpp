// The worker behind the tuning detector and the overview builder: its outcome reaches the owner
// whole and once, and destroying it while the job runs stops the job rather than leaving it
// running on a destroyed owner or waiting forever.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <thread>

#include "engine/BackgroundWorker.h"

namespace {

using IntWorker = BackgroundWorker<int>;

bool waitUntilFinished(const IntWorker& worker) {
    for (int i = 0; i < 2000 && !worker.finished(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return worker.finished();
}

TEST(BackgroundWorkerTest, HandsOverItsOutcomeOnceAndStopsTheJobWhenDestroyed) {
    IntWorker answer([](IntWorker::JobState& state) {
        state.progress.store(0.5F);
        return IntWorker::Outcome{42, ""};
    });
    ASSERT_TRUE(waitUntilFinished(answer));
    EXPECT_EQ(answer.progress(), 1.0F);
    EXPECT_EQ(answer.result(), 42);
    EXPECT_EQ(answer.take(), 42);
    EXPECT_EQ(answer.take(), std::nullopt);

    IntWorker refusal([](IntWorker::JobState&) {
        return IntWorker::Outcome{std::nullopt, "no music"};
    });
    ASSERT_TRUE(waitUntilFinished(refusal));
    EXPECT_EQ(refusal.result(), std::nullopt);
    EXPECT_EQ(refusal.failure(), "no music");

    // A job that runs until it is cancelled (or, should cancelling fail, for ten seconds).
    std::atomic<bool> started{false};
    std::atomic<bool> sawCancel{false};
    {
        IntWorker endless([&](IntWorker::JobState& state) {
            started.store(true);
            for (int i = 0; i < 2000 && !state.cancelled(); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            sawCancel.store(state.cancelled());
            return IntWorker::Outcome{};
        });
        for (int i = 0; i < 2000 && !started.load(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ASSERT_TRUE(started.load());
        EXPECT_FALSE(endless.finished());
    }
    EXPECT_TRUE(sawCancel.load()) << "the destructor returned before the job saw the cancel";
}

}  // namespace
