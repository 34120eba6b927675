// The per-user application data folder ("application support"): $XDG_DATA_HOME, or
// ~/.local/share, the same folder QStandardPaths::GenericDataLocation names. Qt-free so the engine
// and the logger can use it.
#ifndef TONVERA_LOGGING_APPSUPPORT_H
#define TONVERA_LOGGING_APPSUPPORT_H

#include <string>

namespace appsupport {

// The application-support folder, without a trailing slash; empty when neither XDG_DATA_HOME nor
// HOME gives one.
std::string directory();

// The program's own folder inside it ("<directory>/Tonvera").
std::string tonveraDirectory();

// Creates tonveraDirectory() (and its parents) when missing. False, with *why set, when it cannot
// be created or is not a folder.
bool ensureTonveraDirectory(std::string* why);

}  // namespace appsupport

#endif
