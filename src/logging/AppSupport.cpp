#include "logging/AppSupport.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace appsupport {

namespace {

std::string homeDirectory() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') {
        return home;
    }
    if (const passwd* entry = ::getpwuid(::getuid()); entry != nullptr && entry->pw_dir) {
        return entry->pw_dir;
    }
    return {};
}

}  // namespace

std::string directory() {
    // Only an absolute XDG_DATA_HOME counts, as the XDG base directory rules require.
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg != nullptr && xdg[0] == '/') {
        std::string dir = xdg;
        while (dir.size() > 1 && dir.back() == '/') {
            dir.pop_back();
        }
        return dir;
    }
    const std::string home = homeDirectory();
    return home.empty() ? std::string() : home + "/.local/share";
}

std::string tonveraDirectory() {
    const std::string base = directory();
    return base.empty() ? std::string() : base + "/Tonvera";
}

bool ensureTonveraDirectory(std::string* why) {
    const std::string dir = tonveraDirectory();
    if (dir.empty()) {
        if (why)
            *why = "no home folder is known (HOME and XDG_DATA_HOME are unset)";
        return false;
    }
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) {
        if (why)
            *why = "cannot create " + dir + ": " + ec.message();
        return false;
    }
    if (!std::filesystem::is_directory(dir, ec)) {
        if (why)
            *why = dir + " exists but is not a folder";
        return false;
    }
    return true;
}

}  // namespace appsupport
