#include "audiolib/playback/FeederSignal.h"

#include <cerrno>
#include <ctime>

namespace audiolib {

FeederSignal::FeederSignal() {
    sem_init(&semaphore_, 0, 0);
}

FeederSignal::~FeederSignal() {
    sem_destroy(&semaphore_);
}

void FeederSignal::post() {
    // One pending post is enough to wake the feeder; do not let the count grow while it sleeps
    // through a long render.
    int value = 0;
    if (sem_getvalue(&semaphore_, &value) == 0 && value > 0)
        return;
    sem_post(&semaphore_);
}

bool FeederSignal::wait(int timeoutMs) {
    int result = 0;
    if (timeoutMs < 0) {
        do {
            result = sem_wait(&semaphore_);
        } while (result != 0 && errno == EINTR);
    } else {
        timespec deadline{};
        clock_gettime(CLOCK_MONOTONIC, &deadline);
        deadline.tv_sec += timeoutMs / 1000;
        deadline.tv_nsec += static_cast<long>(timeoutMs % 1000) * 1000000L;
        if (deadline.tv_nsec >= 1000000000L) {
            deadline.tv_sec += 1;
            deadline.tv_nsec -= 1000000000L;
        }
        do {
            result = sem_clockwait(&semaphore_, CLOCK_MONOTONIC, &deadline);
        } while (result != 0 && errno == EINTR);
    }
    while (sem_trywait(&semaphore_) == 0) {
    }
    return result == 0;
}

}  // namespace audiolib
