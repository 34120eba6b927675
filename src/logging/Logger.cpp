#include "logging/Logger.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <mutex>

#include "logging/AppSupport.h"
#include "logging/Console.h"

namespace {

constexpr const char* kHeader = "Tonvera logfile\n";

bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

Logger::~Logger() {
    close();
}

Logger& Logger::sharedSingleton() {
    // A function-local static is created exactly once even when several threads arrive together.
    static Logger instance;
    return instance;
}

bool Logger::openInAppSupportDirectory() {
    return open(appsupport::directory() + "/Tonvera/tonvera_log.txt");
}

bool Logger::open(const std::string& path) {
    logPath_ = path;
    console("Logger.open: opening log file %s", path.c_str());

    ::unlink(path.c_str());
    // Create the file with its header as its whole content; a failure shows as "read only" below.
    const int create = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (create >= 0) {
        writeAll(create, kHeader, std::char_traits<char>::length(kHeader));
        ::close(create);
    }

    if (::access(path.c_str(), W_OK) != 0) {
        console("Logger.open: file is read only %s", path.c_str());
        return false;
    }
    console("Logger.open: file is writable %s", path.c_str());
    // O_APPEND puts every line at the end of what is written, atomically per write(2).
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0) {
        console("Logger.open: failed to open file");
        return false;
    }
    const int previous = logFile_.exchange(fd, std::memory_order_acq_rel);
    if (previous >= 0) {
        ::close(previous);
    }
    return true;
}

void Logger::write(const std::string& message) {
    const std::string line = message + "\n";
    consoleLine(message);
    const int fd = logFile_.load(std::memory_order_acquire);
    if (fd < 0) {
        return;
    }
    // One write per line, nothing buffered: the file holds every line written up to a crash.
    // A short write (full disk) is finished off, never reported: the log must not stop the program.
    writeAll(fd, line.data(), line.size());
}

void Logger::writef(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int needed = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text(needed > 0 ? static_cast<std::size_t>(needed) : 0U, '\0');
    if (needed > 0) {
        std::vsnprintf(text.data(), text.size() + 1, format, args);
    }
    va_end(args);
    write(text);
}

void Logger::close() {
    const int fd = logFile_.exchange(-1, std::memory_order_acq_rel);
    if (fd >= 0) {
        ::close(fd);
    }
}
