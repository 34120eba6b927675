// The command line's progress: "Exporting OUT: 42 %" rewritten in place on one line, printed only
// when the figure changes, so a terminal shows one line and a log of stderr stays short. It
// follows the full 64-bit byte counts, so a render past 4 GiB still counts once from 0 to 100.
//
// Threads: called on the exporting thread only (the command line's main thread).
#ifndef TONVERA_ENGINE_EXPORT_COMMANDLINEPROGRESS_H
#define TONVERA_ENGINE_EXPORT_COMMANDLINEPROGRESS_H

#include <cstdint>
#include <cstdio>
#include <string>

#include "engine/export/SoundExportProtocol.h"

class CommandLineProgress : public SoundExportProtocol {
  public:
    // `out` may be null: nothing is printed then.
    CommandLineProgress(std::FILE* out, std::string name);

    void exportLength(std::uint32_t length) override { exportLength64(length); }
    void exportUpdate(std::uint32_t position) override { exportUpdate64(position); }
    void exportLength64(std::uint64_t length) override;
    void exportUpdate64(std::uint64_t position) override;
    // Ends the line; a success shows 100 % first.
    void done(bool succeeded);

  private:
    void show(int percent);

    std::FILE* out_;
    std::string name_;
    std::uint64_t length_ = 0;
    int shown_ = -1;
};

#endif
