// The console outlet: one line to stderr with time, program name and pid, and the same text to the
// system log (ident = the executable's name, so the journal shows "tonvera[pid]: ...").
// Thread-safe; never call it from the audio callback.
#ifndef TONVERA_LOGGING_CONSOLE_H
#define TONVERA_LOGGING_CONSOLE_H

#include <string>

// printf-style formatting; "%@" of the original texts is "%s" with a UTF-8 C string here.
void console(const char* format, ...) __attribute__((format(printf, 1, 2)));
void consoleLine(const std::string& text);

// The command-line export keeps stderr for its progress and its one error line: with this off,
// console lines reach the system log only. On by default; set before other threads start.
void setConsoleToStderr(bool enabled);

// printf-style formatting into a std::string.
std::string formatString(const char* format, ...) __attribute__((format(printf, 1, 2)));

#endif
