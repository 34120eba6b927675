// `tonvera --export OUT [--tempo PERCENT] [--pitch SEMITONES] [--rate HZ] [--tuning CENTS]
// [--focus BAND] [--centre-cancel] [--channels WHICH] [--quality best|light]
// [--level original|heard] IN`: renders IN into
// OUT through the same SoundExporter as the export command, with no window and no sound device,
// progress on stderr, and an exit status for scripts.
//
// Threads: all on the calling thread (the process's main thread, before any window exists),
// except the SIGINT/SIGTERM handler (StopSignals), which may run on any thread and only stores a
// flag; the calling thread reads it at each progress report and cancels the export itself.
#ifndef TONVERA_ENGINE_EXPORT_COMMANDLINEEXPORT_H
#define TONVERA_ENGINE_EXPORT_COMMANDLINEEXPORT_H

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "engine/export/SoundExporter.h"

namespace commandline {

enum class Action { StartPlayer, Help, Export, Invalid };

struct Request {
    Action action = Action::StartPlayer;
    std::string output;
    ExportSettings settings;
    // Set when the quality was not given: the player's own choice then holds.
    bool qualityGiven = false;
    // For Invalid: one line saying what is wrong.
    std::string error;
};

// `arguments` without the program name. Anything that is not --help or --export leaves the
// player to start as usual (with FILE arguments).
Request parse(const std::vector<std::string>& arguments);
std::string usage(const std::string& program);

// Runs an Export request; returns the process's exit status (0 on success). Progress goes to
// `progress` as a percentage rewritten in place; a failure is one line on `errors`. While it runs,
// SIGINT and SIGTERM stop the export cleanly and give 130 / 143; the handlers that were there
// before are back when it returns.
int runExport(const Request& request, std::FILE* progress, std::FILE* errors);

}  // namespace commandline

#endif
