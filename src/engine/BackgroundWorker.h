// One job on a thread of its own, started when the worker is made: the job reports its progress,
// looks at a cancel flag between blocks, and ends with a value or the reason there is none, which
// the owner picks up once finished(). Long reads of a music file (its tuning, its overview) run
// this way, so the window stays live and the music plays on meanwhile.
//
// Threads: made, polled and destroyed on one thread (the owner's). The job runs on the worker
// thread and touches nothing of the worker's but the two atomics in JobState; its outcome crosses
// back under a mutex, and finished() (release / acquire) says it is there. Destroying the worker
// cancels the job and waits for it to see that at its next block; cancel() asks without waiting,
// so an owner that must not wait can let it run out in the background and destroy it once
// finished().
#ifndef TONVERA_ENGINE_BACKGROUNDWORKER_H
#define TONVERA_ENGINE_BACKGROUNDWORKER_H

#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>

template <typename Result>
class BackgroundWorker {
  public:
    // What the job shares with the owner while it runs.
    struct JobState {
        std::atomic<float> progress{0.0F};  // 0 to 1; set to 1 when the job ends
        std::atomic<bool> cancel{false};
        bool cancelled() const { return cancel.load(std::memory_order_relaxed); }
    };
    struct Outcome {
        std::optional<Result> value;
        std::string failure;  // why there is no value
    };

    // `job` is called once on the worker thread as `Outcome job(JobState&)`.
    template <typename Job>
    explicit BackgroundWorker(Job job)
        : thread_([this, job = std::move(job)]() mutable { finish(job(state_)); }) {}
    ~BackgroundWorker() {
        cancel();
        if (thread_.joinable())
            thread_.join();
    }
    BackgroundWorker(const BackgroundWorker&) = delete;
    BackgroundWorker& operator=(const BackgroundWorker&) = delete;

    void cancel() { state_.cancel.store(true, std::memory_order_relaxed); }
    float progress() const { return state_.progress.load(std::memory_order_relaxed); }
    bool finished() const { return finished_.load(std::memory_order_acquire); }
    // Once finished: the value (nullopt when there is none), copied or taken out.
    std::optional<Result> result() const {
        const std::lock_guard<std::mutex> lock(outcomeLock_);
        return outcome_.value;
    }
    std::optional<Result> take() {
        const std::lock_guard<std::mutex> lock(outcomeLock_);
        return std::exchange(outcome_.value, std::nullopt);
    }
    std::string failure() const {
        const std::lock_guard<std::mutex> lock(outcomeLock_);
        return outcome_.failure;
    }

  private:
    // Worker thread.
    void finish(Outcome outcome) {
        state_.progress.store(1.0F, std::memory_order_relaxed);
        {
            const std::lock_guard<std::mutex> lock(outcomeLock_);
            outcome_ = std::move(outcome);
        }
        finished_.store(true, std::memory_order_release);
    }

    JobState state_;
    std::atomic<bool> finished_{false};
    mutable std::mutex outcomeLock_;
    Outcome outcome_;
    std::thread thread_;  // last: it starts once everything above exists
};

#endif
