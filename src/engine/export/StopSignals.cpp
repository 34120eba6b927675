#include "engine/export/StopSignals.h"

#include <atomic>

namespace {

std::atomic<int> stopSignalNumber{0};
static_assert(std::atomic<int>::is_always_lock_free,
              "a signal handler may only touch a lock-free atomic");

void noteStopSignal(int signal) {
    stopSignalNumber.store(signal, std::memory_order_relaxed);
}

}  // namespace

StopSignals::StopSignals() {
    stopSignalNumber.store(0, std::memory_order_relaxed);
    struct sigaction action {};
    action.sa_handler = noteStopSignal;
    sigemptyset(&action.sa_mask);
    // A write to stderr that the signal interrupts goes on rather than failing.
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, &previousInterrupt_);
    sigaction(SIGTERM, &action, &previousTerminate_);
}

StopSignals::~StopSignals() {
    sigaction(SIGINT, &previousInterrupt_, nullptr);
    sigaction(SIGTERM, &previousTerminate_, nullptr);
}

int StopSignals::received() {
    return stopSignalNumber.load(std::memory_order_relaxed);
}
