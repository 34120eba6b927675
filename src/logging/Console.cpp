#include "logging/Console.h"

#include <syslog.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <mutex>

namespace {

std::string vformat(const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    const int needed = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (needed <= 0) {
        return {};
    }
    std::string out(static_cast<std::size_t>(needed), '\0');
    std::vsnprintf(out.data(), out.size() + 1, format, args);
    return out;
}

std::string programName() {
    char buffer[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) {
        return "tonvera";
    }
    std::string path(buffer, static_cast<std::size_t>(n));
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

const std::string& identity() {
    // openlog keeps the pointer, so the ident string must live as long as the process.
    static const std::string name = [] {
        std::string n = programName();
        return n;
    }();
    static std::once_flag opened;
    std::call_once(opened, [] { ::openlog(name.c_str(), LOG_PID, LOG_USER); });
    return name;
}

std::atomic<bool> toStderr{true};

}  // namespace

void setConsoleToStderr(bool enabled) {
    toStderr.store(enabled, std::memory_order_relaxed);
}

std::string formatString(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string out = vformat(format, args);
    va_end(args);
    return out;
}

void consoleLine(const std::string& text) {
    const std::string& name = identity();
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    std::tm local{};
    ::localtime_r(&seconds, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);

    // One fprintf per line: stdio locks the stream, so lines from several threads never mix.
    if (toStderr.load(std::memory_order_relaxed))
        std::fprintf(stderr, "%s.%03lld %s[%d] %s\n", stamp, static_cast<long long>(millis),
                     name.c_str(), static_cast<int>(::getpid()), text.c_str());
    ::syslog(LOG_NOTICE, "%s", text.c_str());
}

void console(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const std::string text = vformat(format, args);
    va_end(args);
    consoleLine(text);
}
