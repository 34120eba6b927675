// Wakes a device's feeder thread: the API threads after a play, a seek or a change, and the audio
// callback after every buffer it took audio from, so the feeder refills right behind it instead
// of polling.
//
// Threads: post() from any thread, the audio callback included: it is sem_post, which never
// blocks or allocates (it is even async-signal-safe). wait() from the feeder thread only.
#ifndef TONVERA_AUDIOLIB_PLAYBACK_FEEDERSIGNAL_H
#define TONVERA_AUDIOLIB_PLAYBACK_FEEDERSIGNAL_H

#include <semaphore.h>

namespace audiolib {

class FeederSignal {
  public:
    FeederSignal();
    ~FeederSignal();
    FeederSignal(const FeederSignal&) = delete;
    FeederSignal& operator=(const FeederSignal&) = delete;

    void post();
    // Until posted, or `timeoutMs` passed (negative: no limit); then takes every post made so
    // far. True when posted.
    bool wait(int timeoutMs);

  private:
    sem_t semaphore_;
};

}  // namespace audiolib

#endif
