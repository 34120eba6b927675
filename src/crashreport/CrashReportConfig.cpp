#include "crashreport/CrashReportConfig.h"

#include <QHostAddress>
#include <QSettings>

#include "logging/AppSupport.h"

namespace crashconfig {

namespace {

QString configured(const char* key, const char* environment, const char* fallback) {
    if (qEnvironmentVariableIsSet(environment)) {
        return qEnvironmentVariable(environment);
    }
    const QSettings settings(QString::fromLatin1(kOrganisation), QString::fromLatin1(kApplication));
    return settings.value(QString::fromLatin1(key), QString::fromLatin1(fallback)).toString();
}

}  // namespace

QString scriptUrl() {
    return configured(kScriptUrlKey, kScriptUrlEnv, kScriptUrlDefault);
}

QString serviceUrl() {
    return configured(kServiceUrlKey, kServiceUrlEnv, kServiceUrlDefault);
}

QString appIdentifier() {
    return configured(kAppIdentifierKey, kAppIdentifierEnv, kAppIdentifierDefault);
}

bool isAllowedUploadUrl(const QUrl& url) {
    if (!url.isValid() || url.host().isEmpty()) {
        return false;
    }
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("https")) {
        return true;
    }
    if (scheme != QLatin1String("http")) {
        return false;
    }
    if (url.host().compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0) {
        return true;
    }
    const QHostAddress address(url.host());
    return !address.isNull() && address.isLoopback();
}

QString libraryFolder() {
    return QString::fromStdString(appsupport::tonveraDirectory());
}

}  // namespace crashconfig
