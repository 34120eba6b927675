#include "engine/export/ExportTarget.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <ctime>

namespace {

// Another export may be writing in the folder for many minutes (a long piece at the best
// quality); a day leaves every export that can still be running alone. Exports are often made
// in sets under new names, so a killed one's file is not left until its own name comes again.
constexpr StaleTemporaries kExportStaleTemporaries{24 * 60 * 60, true};

// The extension, dot included, as the chosen name spells it: muxers judge a name by it (and
// warn when it is off). A leading dot names a hidden file, not an extension.
std::string extensionWithDot(const std::string& path) {
    const auto slash = path.find_last_of('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const auto dot = name.find_last_of('.');
    return dot == std::string::npos || dot == 0 ? std::string() : name.substr(dot);
}

std::string folderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The export's own wording of a failure, as its messages always said it.
std::string exportReason(const FileWriteFailure& failure) {
    const std::string error = std::strerror(failure.error);
    switch (failure.step) {
        case FileWriteFailure::Step::NoFolder:
        case FileWriteFailure::Step::Create:
            return "cannot create a file in " + folderOf(failure.target) + ": " + error;
        case FileWriteFailure::Step::Write:
            return "cannot write " + failure.target + ": " + error;
        case FileWriteFailure::Step::NotRegular:
            // "Invalid argument" would not tell the user what is wrong with a pipe or a device.
            if (failure.error != EISDIR)
                return "cannot replace " + failure.target +
                       ": it is not a regular file (a device, a pipe or a socket)";
            [[fallthrough]];
        case FileWriteFailure::Step::WriteProtected:
        case FileWriteFailure::Step::Replace:
            return "cannot replace " + failure.target + ": " + error;
        case FileWriteFailure::Step::None:
            break;
    }
    return {};
}

}  // namespace

ExportTarget::ExportTarget(const std::string& finalPath)
    : finalPath_(finalPath),
      file_(finalPath, extensionWithDot(finalPath), kExportStaleTemporaries) {}

std::string ExportTarget::withChosenName(std::string text) const {
    const std::string& unnamed = file_.temporaryPath();
    if (!file_.unnamed() || unnamed.empty())
        return text;
    for (auto at = text.find(unnamed); at != std::string::npos;
         at = text.find(unnamed, at + finalPath_.size())) {
        text.replace(at, unnamed.size(), finalPath_);
    }
    return text;
}

std::string ExportTarget::cannotWrite(const std::string& why) {
    return "The file could not be written: " + why + ".";
}

std::string ExportTarget::refusal(const std::string& finalPath) {
    ExportTarget target(finalPath);
    return target.file_.checkTarget() ? std::string()
                                      : cannotWrite(exportReason(target.file_.failure()));
}

bool ExportTarget::reserve(std::string* why) {
    if (file_.reserve())
        return true;
    if (why)
        *why = exportReason(file_.failure());
    return false;
}

bool ExportTarget::commit(std::string* why) {
    if (file_.commit())
        return true;
    if (why)
        *why = exportReason(file_.failure());
    return false;
}

bool ExportTarget::sameFile(const std::string& a, const std::string& b) {
    struct stat first {};
    struct stat second {};
    return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}
