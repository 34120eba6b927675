#include "crashreport/FatalSignalHandler.h"

#include <execinfo.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <ucontext.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <iterator>
#include <system_error>

namespace crashsignal {

namespace {

constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};
constexpr std::size_t kMaxFrames = 64;
constexpr std::size_t kPathMax = 256;
// Room for this handler, the unwinder and a sanitizer's report, which runs on the same stack
// when the fault repeats under its handler.
constexpr std::size_t kAltStackSize = 256 * 1024;

// ---- state prepared by install() --------------------------------------------------------------
// Plain static storage: nothing here is allocated or formatted once the handler runs.
int g_folderFd = -1;
char g_executable[kPathMax];
char g_header[4096];
std::size_t g_headerLength = 0;
long g_utcOffset = 0;
struct sigaction g_previous[std::size(kFatalSignals)];
alignas(16) char g_altStack[kAltStackSize];
std::atomic<bool> g_installed{false};
// Set by the first thread into the handler; another crash meanwhile goes straight on to die.
std::atomic<bool> g_entered{false};

// What each frame's address belongs to, filled from /proc/self/maps at crash time.
struct FrameModule {
    char name[kPathMax];
    std::uintptr_t offset;
    bool found;
};
FrameModule g_modules[kMaxFrames];
void* g_frames[kMaxFrames];

// ---- async-signal-safe output -------------------------------------------------------------------

class Out {
  public:
    explicit Out(int fd) : fd_(fd) {}
    ~Out() { flush(); }
    Out(const Out&) = delete;
    Out& operator=(const Out&) = delete;

    void bytes(const char* text, std::size_t length) {
        for (std::size_t i = 0; i < length; ++i) {
            if (used_ == sizeof buffer_) {
                flush();
            }
            buffer_[used_++] = text[i];
        }
    }
    Out& str(const char* text) {
        bytes(text, std::strlen(text));
        return *this;
    }
    Out& dec(long long value) {
        char digits[24];
        std::size_t n = 0;
        unsigned long long magnitude =
            value < 0 ? 0ULL - static_cast<unsigned long long>(value) : value;
        do {
            digits[n++] = static_cast<char>('0' + magnitude % 10);
            magnitude /= 10;
        } while (magnitude != 0);
        if (value < 0) {
            digits[n++] = '-';
        }
        while (n > 0) {
            bytes(&digits[--n], 1);
        }
        return *this;
    }
    // Zero-padded to `width` digits.
    Out& padded(long long value, int width) {
        long long limit = 1;
        for (int i = 1; i < width; ++i) {
            limit *= 10;
        }
        for (; limit > 1 && value < limit; limit /= 10) {
            bytes("0", 1);
        }
        return dec(value);
    }
    Out& hex(std::uintptr_t value, int width = 0) {
        char digits[2 * sizeof value];
        int n = 0;
        do {
            digits[n++] = "0123456789abcdef"[value & 0xf];
            value >>= 4;
        } while (value != 0);
        str("0x");
        for (int i = n; i < width; ++i) {
            bytes("0", 1);
        }
        while (n > 0) {
            bytes(&digits[--n], 1);
        }
        return *this;
    }
    void flush() {
        std::size_t done = 0;
        while (done < used_) {
            const ssize_t n = ::write(fd_, buffer_ + done, used_ - done);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                break;
            }
            done += static_cast<std::size_t>(n);
        }
        used_ = 0;
    }

  private:
    int fd_;
    char buffer_[1024];
    std::size_t used_ = 0;
};

// Formats into a fixed buffer, for the file name.
struct Fixed {
    char* out;
    std::size_t size;
    std::size_t used = 0;
    bool overflow = false;
    void put(const char* text) {
        for (; *text != '\0'; ++text) {
            if (used + 1 >= size) {
                overflow = true;
                return;
            }
            out[used++] = *text;
        }
        out[used] = '\0';
    }
    void padded(long long value, int width) {
        char digits[24];
        int n = 0;
        do {
            digits[n++] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value > 0 || n < width);
        char text[25];
        for (int i = 0; i < n; ++i) {
            text[i] = digits[n - 1 - i];
        }
        text[n] = '\0';
        put(text);
    }
};

struct CivilTime {
    long long year;
    int month, day, hour, minute, second;
};

// Days since 1970-01-01 to a calendar date (proleptic Gregorian); pure arithmetic, because
// gmtime_r and localtime_r are not async-signal-safe.
CivilTime civilTime(long long seconds) {
    long long days = seconds / 86400;
    long long rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    days += 719468;
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const long long dayOfEra = days - era * 146097;
    const long long yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const long long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const long long mp = (5 * dayOfYear + 2) / 153;
    const int day = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
    const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    const long long year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    return {year,
            month,
            day,
            static_cast<int>(rest / 3600),
            static_cast<int>(rest / 60 % 60),
            static_cast<int>(rest % 60)};
}

const char* signalName(int sig) {
    switch (sig) {
        case SIGSEGV:
            return "SIGSEGV (Segmentation fault)";
        case SIGBUS:
            return "SIGBUS (Bus error)";
        case SIGILL:
            return "SIGILL (Illegal instruction)";
        case SIGFPE:
            return "SIGFPE (Floating-point exception)";
        case SIGABRT:
            return "SIGABRT (Aborted)";
        default:
            return "unknown signal";
    }
}

const char* codeName(int sig, int code) {
    if (sig == SIGSEGV) {
        if (code == SEGV_MAPERR)
            return "SEGV_MAPERR";
        if (code == SEGV_ACCERR)
            return "SEGV_ACCERR";
    } else if (sig == SIGBUS) {
        if (code == BUS_ADRALN)
            return "BUS_ADRALN";
        if (code == BUS_ADRERR)
            return "BUS_ADRERR";
        if (code == BUS_OBJERR)
            return "BUS_OBJERR";
    } else if (sig == SIGILL) {
        if (code == ILL_ILLOPC)
            return "ILL_ILLOPC";
        if (code == ILL_ILLOPN)
            return "ILL_ILLOPN";
        if (code == ILL_PRVOPC)
            return "ILL_PRVOPC";
    } else if (sig == SIGFPE) {
        if (code == FPE_INTDIV)
            return "FPE_INTDIV";
        if (code == FPE_INTOVF)
            return "FPE_INTOVF";
        if (code == FPE_FLTDIV)
            return "FPE_FLTDIV";
        if (code == FPE_FLTINV)
            return "FPE_FLTINV";
    }
    return nullptr;
}

// The interrupted program counter, so the frames of this handler can be left out.
std::uintptr_t interruptedPc(void* context) {
    if (context == nullptr) {
        return 0;
    }
    const auto* uc = static_cast<const ucontext_t*>(context);
#if defined(__x86_64__)
    return static_cast<std::uintptr_t>(uc->uc_mcontext.gregs[REG_RIP]);
#elif defined(__aarch64__)
    return static_cast<std::uintptr_t>(uc->uc_mcontext.pc);
#else
    (void)uc;
    return 0;
#endif
}

std::uintptr_t parseHex(const char*& p) {
    std::uintptr_t value = 0;
    for (;; ++p) {
        const char c = *p;
        if (c >= '0' && c <= '9') {
            value = value * 16 + static_cast<std::uintptr_t>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            value = value * 16 + static_cast<std::uintptr_t>(c - 'a' + 10);
        } else {
            return value;
        }
    }
}

// One line of /proc/self/maps: "start-end perms offset dev inode   path".
void matchMapsLine(const char* line, std::size_t frames) {
    const char* p = line;
    const std::uintptr_t start = parseHex(p);
    if (*p++ != '-') {
        return;
    }
    const std::uintptr_t end = parseHex(p);
    while (*p == ' ') {
        ++p;
    }
    while (*p != ' ' && *p != '\0') {  // perms
        ++p;
    }
    while (*p == ' ') {
        ++p;
    }
    const std::uintptr_t offset = parseHex(p);
    for (int field = 0; field < 2; ++field) {  // dev, inode
        while (*p == ' ') {
            ++p;
        }
        while (*p != ' ' && *p != '\0') {
            ++p;
        }
    }
    while (*p == ' ') {
        ++p;
    }
    const char* path = *p != '\0' ? p : "???";
    for (std::size_t i = 0; i < frames; ++i) {
        const auto address = reinterpret_cast<std::uintptr_t>(g_frames[i]);
        if (g_modules[i].found || address < start || address >= end) {
            continue;
        }
        FrameModule& module = g_modules[i];
        module.found = true;
        // The offset into the file: what addr2line and gdb take for a module.
        module.offset = address - start + offset;
        std::size_t n = 0;
        for (; path[n] != '\0' && n + 1 < sizeof module.name; ++n) {
            module.name[n] = path[n];
        }
        module.name[n] = '\0';
    }
}

void findModules(std::size_t frames) {
    for (std::size_t i = 0; i < frames; ++i) {
        g_modules[i].found = false;
    }
    const int fd = ::open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return;
    }
    char chunk[4096];
    char line[kPathMax + 128];
    std::size_t used = 0;
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        for (ssize_t i = 0; i < n; ++i) {
            if (chunk[i] == '\n') {
                line[used] = '\0';
                matchMapsLine(line, frames);
                used = 0;
            } else if (used + 1 < sizeof line) {  // an over-long path is cut, not overrun
                line[used++] = chunk[i];
            }
        }
    }
    ::close(fd);
}

const char* baseName(const char* path) {
    const char* name = path;
    for (const char* p = path; *p != '\0'; ++p) {
        if (*p == '/') {
            name = p + 1;
        }
    }
    return name;
}

int openCrashLog() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    char name[kPathMax + 32];
    if (crashLogName(g_executable, now.tv_sec, g_utcOffset, name, sizeof name) == 0) {
        return -1;
    }
    int fd = -1;
    do {
        fd = ::openat(g_folderFd, name, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

void writeCrashLog(int sig, const siginfo_t* info, void* context) {
    const int fd = openCrashLog();
    if (fd < 0) {
        return;
    }
    {
        Out out(fd);
        out.bytes(g_header, g_headerLength);

        timespec now{};
        ::clock_gettime(CLOCK_REALTIME, &now);
        const CivilTime t = civilTime(now.tv_sec + g_utcOffset);
        const long offsetMinutes = (g_utcOffset < 0 ? -g_utcOffset : g_utcOffset) / 60;
        out.str("Date/Time:       ").padded(t.year, 4).str("-").padded(t.month, 2).str("-");
        out.padded(t.day, 2).str(" ").padded(t.hour, 2).str(":").padded(t.minute, 2).str(":");
        out.padded(t.second, 2).str(g_utcOffset < 0 ? " -" : " +").padded(offsetMinutes / 60, 2);
        out.padded(offsetMinutes % 60, 2).str("\n");

        out.str("Exception Type:  ").str(signalName(sig)).str("\n");
        if (info != nullptr && info->si_code <= 0) {
            // kill(1), raise() or abort(): no faulting address, but who sent it.
            out.str("Exception Codes: sent by process ").dec(info->si_pid);
            out.str(" (user ").dec(info->si_uid).str(")\n");
        } else if (info != nullptr) {
            const char* code = codeName(sig, info->si_code);
            out.str("Exception Codes: ");
            if (code != nullptr) {
                out.str(code);
            } else {
                out.str("code ").dec(info->si_code);
            }
            out.str(" at ").hex(reinterpret_cast<std::uintptr_t>(info->si_addr), 16).str("\n");
        }
        char threadName[17] = {};
        ::prctl(PR_GET_NAME, threadName, 0, 0, 0);
        const long long tid = ::gettid();
        out.str("Crashed Thread:  ").dec(tid).str(" ").str(threadName).str("\n\n");
        out.str("Thread ").dec(tid).str(" Crashed:\n");
        out.flush();

        const int count = ::backtrace(g_frames, static_cast<int>(std::size(g_frames)));
        const std::size_t frames = count > 0 ? static_cast<std::size_t>(count) : 0;
        // Start at the interrupted instruction; the frames before it are this handler's.
        std::size_t first = 0;
        const std::uintptr_t pc = interruptedPc(context);
        for (std::size_t i = 0; i < frames; ++i) {
            if (reinterpret_cast<std::uintptr_t>(g_frames[i]) == pc) {
                first = i;
                break;
            }
        }
        findModules(frames);
        for (std::size_t i = first; i < frames; ++i) {
            const FrameModule& module = g_modules[i];
            const char* name = module.found ? baseName(module.name) : "???";
            out.dec(static_cast<long long>(i - first)).str(i - first < 10 ? "   " : "  ");
            out.str(name);
            for (std::size_t pad = std::strlen(name); pad < 32; ++pad) {
                out.str(" ");
            }
            out.str(" ").hex(reinterpret_cast<std::uintptr_t>(g_frames[i]), 16);
            if (module.found) {
                out.str(" ").str(name).str(" + ").hex(module.offset);
            }
            out.str("  ");
            out.flush();
            // Writes "path(symbol+offset) [address]\n" straight to the file, without malloc.
            ::backtrace_symbols_fd(&g_frames[i], 1, fd);
        }
        out.str("\n");
    }
    ::close(fd);
}

void restorePrevious(int sig) {
    for (std::size_t i = 0; i < std::size(kFatalSignals); ++i) {
        if (kFatalSignals[i] != sig) {
            continue;
        }
        struct sigaction previous = g_previous[i];
        // An ignored fault would repeat for ever; let it end the process instead.
        if ((previous.sa_flags & SA_SIGINFO) == 0 && previous.sa_handler == SIG_IGN) {
            previous.sa_handler = SIG_DFL;
        }
        ::sigaction(sig, &previous, nullptr);
        return;
    }
    signal(sig, SIG_DFL);
}

void onFatalSignal(int sig, siginfo_t* info, void* context) {
    const int savedErrno = errno;
    if (!g_entered.exchange(true)) {
        writeCrashLog(sig, info, context);
    }
    restorePrevious(sig);
    if (info == nullptr || info->si_code <= 0) {
        // Sent by kill(), raise() or abort(): returning would carry on, so send it again; it is
        // blocked until this handler returns, and then meets the restored disposition.
        ::raise(sig);
    }
    // A fault returns to the faulting instruction, which faults again under the restored
    // disposition: the default one dumps core, a sanitizer's reports the real context.
    errno = savedErrno;
}

std::string headerText(const ProgramInfo& info) {
    std::string text;
    text += "Process:         " + info.executableName + " [" + std::to_string(::getpid()) + "]\n";
    text += "Path:            " + info.executablePath + "\n";
    text += "Identifier:      " + info.identifier + "\n";
    text += "Version:         " + info.version + "\n";
    text += "OS Version:      " + info.osVersion + "\n\n";
    return text;
}

}  // namespace

std::size_t crashLogName(const char* executable, long long epochSeconds, long utcOffsetSeconds,
                         char* out, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const CivilTime t = civilTime(epochSeconds + utcOffsetSeconds);
    Fixed name{out, size};
    out[0] = '\0';
    name.put(executable);
    name.put("_");
    name.padded(t.year, 4);
    name.put("-");
    name.padded(t.month, 2);
    name.put("-");
    name.padded(t.day, 2);
    name.put("-");
    name.padded(t.hour, 2);
    name.padded(t.minute, 2);
    name.padded(t.second, 2);
    name.put(".crash");
    if (name.overflow) {
        out[0] = '\0';
        return 0;
    }
    return name.used;
}

bool install(const std::string& folder, const ProgramInfo& info, std::string* why) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        if (why)
            *why = "cannot open " + folder + ": " + std::strerror(errno);
        return false;
    }
    if (info.executableName.empty() || info.executableName.size() >= sizeof g_executable) {
        ::close(fd);
        if (why)
            *why = "unusable executable name \"" + info.executableName + "\"";
        return false;
    }

    // The signals stay blocked while the texts are replaced, so a crash meanwhile sees either
    // the old state or the new one.
    sigset_t fatal, saved;
    sigemptyset(&fatal);
    for (const int sig : kFatalSignals) {
        sigaddset(&fatal, sig);
    }
    pthread_sigmask(SIG_BLOCK, &fatal, &saved);
    if (g_folderFd >= 0) {
        ::close(g_folderFd);
    }
    g_folderFd = fd;
    std::memcpy(g_executable, info.executableName.c_str(), info.executableName.size() + 1);
    const std::string header = headerText(info);
    g_headerLength = std::min(header.size(), sizeof g_header);
    std::memcpy(g_header, header.data(), g_headerLength);
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    g_utcOffset = local.tm_gmtoff;
    pthread_sigmask(SIG_SETMASK, &saved, nullptr);

    // The first backtrace() loads the unwinder (dlopen, malloc): do that now, not in the handler.
    void* warmUp[1];
    ::backtrace(warmUp, static_cast<int>(std::size(warmUp)));

    if (!g_installed.exchange(true)) {
        stack_t stack{};
        stack.ss_sp = g_altStack;
        stack.ss_size = sizeof g_altStack;
        stack.ss_flags = 0;
        if (::sigaltstack(&stack, nullptr) != 0) {
            if (why)
                *why =
                    std::string("cannot set the alternate signal stack: ") + std::strerror(errno);
            g_installed = false;
            return false;
        }
        struct sigaction action {};
        action.sa_sigaction = onFatalSignal;
        action.sa_flags = SA_SIGINFO | SA_ONSTACK;
        action.sa_mask = fatal;
        for (std::size_t i = 0; i < std::size(kFatalSignals); ++i) {
            if (::sigaction(kFatalSignals[i], &action, &g_previous[i]) != 0) {
                if (why)
                    *why = std::string("cannot install the crash handler: ") + std::strerror(errno);
                return false;
            }
        }
    }
    return true;
}

}  // namespace crashsignal
