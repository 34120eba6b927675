// Builds the overview of one music file on a thread of its own, so the window stays live and the
// music plays while a long file is read: first from the cache, else by decoding the whole file
// (and then into the cache).
//
// Threads: made, polled and destroyed on one thread (the window's). The worker thread (a
// BackgroundWorker) only calls the cache functions it was given and writes the progress and the
// result, which the owner reads through progress() and take(). Destroying the builder stops the
// worker at its next block and waits for it; cancel() asks it to stop without waiting, so an
// owner that must not wait (a window) can let it finish in the background and destroy it once
// finished().
#ifndef TONVERA_ENGINE_OVERVIEWBUILDER_H
#define TONVERA_ENGINE_OVERVIEWBUILDER_H

#include <functional>
#include <optional>
#include <string>

#include "engine/BackgroundWorker.h"
#include "engine/OverviewPeaks.h"

class OverviewBuilder {
  public:
    // Both run on the worker thread. `load` returns the cache file's bytes (empty when there is
    // none); `store` keeps new bytes for next time.
    struct Cache {
        std::function<std::string()> load;
        std::function<void(const std::string& bytes)> store;
    };

    // `key` names the file's version (see overviewpeaks::serialize).
    OverviewBuilder(std::string utf8Path, std::string key, Cache cache);
    OverviewBuilder(const OverviewBuilder&) = delete;
    OverviewBuilder& operator=(const OverviewBuilder&) = delete;

    void cancel() { worker_.cancel(); }
    float progress() const { return worker_.progress(); }
    bool finished() const { return worker_.finished(); }
    // Once finished: the overview (nullopt when the file could not be read), or why not.
    std::optional<OverviewPeaks> take() { return worker_.take(); }
    std::string failure() const { return worker_.failure(); }

  private:
    using Worker = BackgroundWorker<OverviewPeaks>;
    // Worker thread.
    static Worker::Outcome build(const std::string& path, const std::string& key,
                                 const Cache& cache, Worker::JobState& state);

    Worker worker_;
};

#endif
