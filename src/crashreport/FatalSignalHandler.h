// The fatal-signal handler: on SIGSEGV, SIGBUS, SIGILL, SIGFPE or SIGABRT it writes a crash log
// "<executable>_<YYYY-MM-DD-HHMMSS>.crash" into the crash-log folder, then lets the process die
// of the same signal, so the system's core handling (and a sanitizer's report) still sees it.
//
// Everything the handler needs is prepared by install(): the folder is opened, the texts of the
// header are formatted, the unwinder is loaded and an alternate signal stack is set up for the
// installing thread, so a stack overflow there is reported too. At crash time the handler only
// makes async-signal-safe calls (open/read/write/close on file descriptors, sigaction, raise)
// plus the unwinder that glibc's backtrace() uses.
//
// Threads: install() once, on the main thread, before other threads exist. Only the installing
// thread runs the handler on the alternate stack; a fault on another thread is handled on that
// thread's own stack. Qt-free, so it can be installed before anything else exists.
#ifndef TONVERA_CRASHREPORT_FATALSIGNALHANDLER_H
#define TONVERA_CRASHREPORT_FATALSIGNALHANDLER_H

#include <string>

namespace crashsignal {

struct ProgramInfo {
    std::string executableName;  // the crash log's name starts with it
    std::string executablePath;
    std::string identifier;  // org.tonvera.Tonvera
    std::string version;
    std::string osVersion;  // a readable description of the system
};

// Creates `folder` (with its parents) when missing and installs the handler. False, with *why
// set, when the folder cannot be created or opened or a signal action cannot be set; the program
// then runs without crash logs. A second call replaces the folder and texts.
bool install(const std::string& folder, const ProgramInfo& info, std::string* why);

// The crash log's file name for a time in seconds since the epoch and a UTC offset in seconds:
// "<executable>_2026-12-08-024115.crash". Async-signal-safe; `out` holds at least `size` bytes.
// Returns the length written (0 when it does not fit).
std::size_t crashLogName(const char* executable, long long epochSeconds, long utcOffsetSeconds,
                         char* out, std::size_t size);

}  // namespace crashsignal

#endif
