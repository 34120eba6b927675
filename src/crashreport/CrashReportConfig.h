// Where crash reports go, and the keys the crash reporter keeps in the per-user settings.
//
// The addresses and the identifier are configuration values: the environment variable wins over
// the settings key, which wins over the shipped default. The defaults use the reserved ".invalid"
// top-level domain, so nothing leaves the machine until a distributor configures a real service.
#ifndef TONVERA_CRASHREPORT_CRASHREPORTCONFIG_H
#define TONVERA_CRASHREPORT_CRASHREPORTCONFIG_H

#include <QString>
#include <QUrl>

namespace crashconfig {

// The per-user settings store (QSettings organisation and application).
inline constexpr char kOrganisation[] = "Tonvera";
inline constexpr char kApplication[] = "Tonvera";
// The modification date of the newest crash log seen, or the time of the first check.
inline constexpr char kLastCrashDateKey[] = "CrashReportSender.lastCrashDate";

// The maker's own crash-report script; used only when no application identifier is configured.
inline constexpr char kScriptUrlKey[] = "CrashReporter/scriptURL";
inline constexpr char kScriptUrlEnv[] = "TONVERA_CRASH_SCRIPT_URL";
inline constexpr char kScriptUrlDefault[] = "https://crashes.tonvera.invalid/crash_v200.php";
// The crash-collection service's base address, ending in "/".
inline constexpr char kServiceUrlKey[] = "CrashReporter/serviceURL";
inline constexpr char kServiceUrlEnv[] = "TONVERA_CRASH_SERVICE_URL";
inline constexpr char kServiceUrlDefault[] = "https://crashes.tonvera.invalid/";
// This program's identifier at that service: 32 lowercase hexadecimal digits. An empty value
// sends reports to the script instead.
inline constexpr char kAppIdentifierKey[] = "CrashReporter/appIdentifier";
inline constexpr char kAppIdentifierEnv[] = "TONVERA_CRASH_APP_IDENTIFIER";
inline constexpr char kAppIdentifierDefault[] = "5c0e7d2a9b4f4e61a83d1f6b0c9e2a47";

inline constexpr char kCompanyName[] = "Tonvera";
inline constexpr char kBundleIdentifier[] = "org.tonvera.Tonvera";

QString scriptUrl();
QString serviceUrl();
QString appIdentifier();

// Crash logs hold memory addresses and paths: they travel over https only. Plain http is
// accepted for a loopback host alone, where nothing leaves the machine (a local collector).
bool isAllowedUploadUrl(const QUrl& url);

// "<application support>/Tonvera", the root of Logs/DiagnosticReports and Logs/CrashReporter.
QString libraryFolder();

}  // namespace crashconfig

#endif
