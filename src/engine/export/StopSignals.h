// SIGINT and SIGTERM during a command-line export: instead of ending the process at once, which
// would leave the export's temporary file behind, they are noted, and the export stops at its
// next block, cleans up and ends with the shell's status for that signal.
//
// Threads: the handler may run on any thread of the process, at any moment; it does nothing but
// store the signal's number in a lock-free atomic, which is async-signal-safe. received() reads
// it from the exporting thread. One StopSignals at a time per process (the command line has one).
#ifndef TONVERA_ENGINE_EXPORT_STOPSIGNALS_H
#define TONVERA_ENGINE_EXPORT_STOPSIGNALS_H

#include <signal.h>

class StopSignals {
  public:
    // Installs the handler for SIGINT and SIGTERM and forgets any signal noted before.
    StopSignals();
    // Puts back the handlers that were there before.
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // The last stop signal that came since construction, or 0.
    static int received();
    // The exit status for it: 128 + the signal's number (130 for SIGINT, 143 for SIGTERM).
    static int exitStatus(int signal) { return 128 + signal; }

  private:
    struct sigaction previousInterrupt_ {};
    struct sigaction previousTerminate_ {};
};

#endif
