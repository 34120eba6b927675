#include "engine/export/CommandLineProgress.h"

#include <utility>

#include "engine/export/ExportProgress.h"

CommandLineProgress::CommandLineProgress(std::FILE* out, std::string name)
    : out_(out), name_(std::move(name)) {}

void CommandLineProgress::exportLength64(std::uint64_t length) {
    length_ = length;
    show(0);
}

void CommandLineProgress::exportUpdate64(std::uint64_t position) {
    // An unknown or empty length gives no percentage; the stream's end still ends the work.
    if (!exportprogress::lengthKnown(length_))
        return;
    show(static_cast<int>(exportprogress::stepsDone(position, length_, 100)));
}

void CommandLineProgress::done(bool succeeded) {
    if (!out_ || shown_ < 0)
        return;
    if (succeeded)
        show(100);
    std::fputc('\n', out_);
    std::fflush(out_);
}

void CommandLineProgress::show(int percent) {
    if (!out_ || percent == shown_)
        return;
    shown_ = percent;
    std::fprintf(out_, "\rExporting %s: %3d %%", name_.c_str(), percent);
    std::fflush(out_);
}
