// What a crash report says about the machine: the hardware model and the system's version.
#ifndef TONVERA_CRASHREPORT_SYSTEMINFO_H
#define TONVERA_CRASHREPORT_SYSTEMINFO_H

#include <QString>

namespace systeminfo {

// "<vendor> <product>" from /sys/class/dmi/id, else the machine type from uname(2); a null
// string when neither can be read.
QString modelName();

struct OsVersion {
    int major = 0;
    int minor = 0;
    int fix = 0;
};
// The numbers of VERSION_ID in the os-release file ("12" gives 12.0.0); 0 for what is missing.
OsVersion osVersion(const QString& osReleasePath = QStringLiteral("/etc/os-release"));

// A readable one-line description: os-release's PRETTY_NAME and the kernel (for the crash log).
QString osDescription();

// The system log, oldest line first: /var/log/syslog when readable, else the journal's entries
// of this identifier in its "short" form; empty when neither can be read.
QString systemLogText(const QString& identifier);

}  // namespace systeminfo

#endif
