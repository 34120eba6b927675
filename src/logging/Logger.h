// The program's own log file: one plain UTF-8 file per run, replaced at every start. Every line
// also goes to the console.
//
// Threads: write() takes no lock. It is called from the main thread and from the export worker
// thread at the same time; each line is handed to the kernel in one write(2) on an O_APPEND
// descriptor, so lines never mix. open() and close() run before other threads exist (start-up) or
// not at all.
#ifndef TONVERA_LOGGING_LOGGER_H
#define TONVERA_LOGGING_LOGGER_H

#include <atomic>
#include <string>

class Logger {
  public:
    Logger() = default;
    ~Logger();
    Logger(const Logger&) = delete;
    Logger& operator=(const Logger&) = delete;

    static Logger& sharedSingleton();

    // Opens "<application support>/Tonvera/tonvera_log.txt".
    bool openInAppSupportDirectory();
    bool open(const std::string& path);
    void write(const std::string& message);
    // printf-style convenience over write().
    void writef(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void close();
    std::string path() const { return logPath_; }

  private:
    std::atomic<int> logFile_{-1};
    std::string logPath_;
};

#endif
