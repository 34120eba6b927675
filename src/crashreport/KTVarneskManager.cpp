#include "crashreport/KTVarneskManager.h"

#include <zlib.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSettings>
#include <QTimer>
#include <QXmlStreamReader>
#include <algorithm>
#include <vector>

#include "crashreport/CrashReportConfig.h"
#include "crashreport/CrashReportFormat.h"
#include "crashreport/KTVarneskUI.h"
#include "crashreport/SystemInfo.h"
#include "logging/Console.h"

namespace {

constexpr int kStartDelayMs = 100;

KTVarneskManager* g_shared = nullptr;

QSettings userDefaults() {
    return QSettings(QString::fromLatin1(crashconfig::kOrganisation),
                     QString::fromLatin1(crashconfig::kApplication));
}

// We ask for gzip ourselves (the service expects that header), and Qt then leaves the reply as
// it came; a reply that is not gzip comes back unchanged.
QByteArray gunzipped(const QByteArray& body) {
    z_stream stream{};
    if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK) {
        return {};
    }
    QByteArray out;
    char chunk[16384];
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(body.constData()));
    stream.avail_in = static_cast<uInt>(body.size());
    int status = Z_OK;
    while (status == Z_OK) {
        stream.next_out = reinterpret_cast<Bytef*>(chunk);
        stream.avail_out = sizeof chunk;
        status = inflate(&stream, Z_NO_FLUSH);
        out.append(chunk, static_cast<qsizetype>(sizeof chunk - stream.avail_out));
    }
    inflateEnd(&stream);
    // A cut-off stream still gives what was read before the cut, as a broken reply does.
    return out;
}

}  // namespace

KTVarneskManagerDelegate::~KTVarneskManagerDelegate() {
    KTVarneskManager::forgetDelegate(this);
}

KTVarneskManager* KTVarneskManager::sharedVarneskManager() {
    // Main thread only, like everything here. Owned by the application object, so it (and an
    // upload still in flight) goes before Qt does.
    if (g_shared == nullptr) {
        g_shared = new KTVarneskManager(QCoreApplication::instance());
    }
    return g_shared;
}

void KTVarneskManager::forgetDelegate(const KTVarneskManagerDelegate* delegate) {
    if (g_shared != nullptr && g_shared->_delegate == delegate) {
        g_shared->_delegate = nullptr;
    }
}

KTVarneskManager::KTVarneskManager(QObject* parent) : QObject(parent) {}

KTVarneskManager::~KTVarneskManager() {
    if (g_shared == this) {
        g_shared = nullptr;
    }
}

void KTVarneskManager::scheduleStart() {
    QTimer::singleShot(kStartDelayMs, this, &KTVarneskManager::startManager);
}

void KTVarneskManager::setSubmissionURL(const QString& url) {
    if (url != _submissionURL) {
        _submissionURL = url;
    }
    scheduleStart();
}

void KTVarneskManager::setAppIdentifier(const QString& identifier) {
    if (identifier != _appIdentifier) {
        _appIdentifier = identifier;
    }
    setSubmissionURL(crashconfig::serviceUrl());
}

void KTVarneskManager::startManager() {
    if (_dialogRunning) {
        _startAfterDialog = true;
        return;
    }
    if (!hasPendingCrashReport()) {
        returnToMainApplication();
        return;
    }
    _varneskUI = std::make_unique<KTVarneskUI>(this, _crashFile, _companyName, applicationName());
    _dialogRunning = true;
    _varneskUI->askCrashReportDetails();
    _dialogRunning = false;
    if (_startAfterDialog) {
        _startAfterDialog = false;
        QTimer::singleShot(0, this, &KTVarneskManager::startManager);
    }
}

bool KTVarneskManager::hasPendingCrashReport() {
    const QString key = QString::fromLatin1(crashconfig::kLastCrashDateKey);
    QSettings defaults = userDefaults();
    if (!defaults.contains(key)) {
        // Crash logs older than the first check are never offered.
        defaults.setValue(key, QDateTime::currentDateTimeUtc());
        return false;
    }

    const QString library = crashconfig::libraryFolder();
    searchCrashLogFile(library + QStringLiteral("/Logs/DiagnosticReports"));
    if (_crashFile.isEmpty()) {
        searchCrashLogFile(library + QStringLiteral("/Logs/CrashReporter"));
    }
    if (_crashFile.isEmpty()) {
        return false;
    }

    const QVariant remembered = defaults.value(key);
    const QFileInfo crashLog(_crashFile);
    const QDateTime crashDate = crashLog.exists() ? crashLog.lastModified() : QDateTime();
    bool pending = false;
    if (!remembered.isValid()) {
        pending = true;
    } else if (!crashDate.isValid()) {
        pending = false;
    } else {
        pending = crashDate > remembered.toDateTime();
    }
    // Remembered before the user answers: a cancelled report is not offered again.
    if (crashDate.isValid()) {
        defaults.setValue(key, crashDate);
    } else {
        defaults.remove(key);
    }
    return pending;
}

void KTVarneskManager::searchCrashLogFile(const QString& folder) {
    struct Record {
        QString name;
        QString path;
        QDateTime modDate;
    };
    std::vector<Record> records;
    const QDir dir(folder);
    const QStringList names =
        dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        const QString path = folder + QLatin1Char('/') + name;
        records.push_back({name, path, QFileInfo(path).lastModified()});
    }
    std::stable_sort(records.begin(), records.end(),
                     [](const Record& a, const Record& b) { return a.modDate < b.modDate; });
    const QString prefix = applicationName();
    _crashFile.clear();
    for (const Record& record : records) {
        if (record.name.startsWith(prefix, Qt::CaseSensitive)) {
            _crashFile = record.path;  // the last kept is the newest
        }
    }
}

void KTVarneskManager::returnToMainApplication() {
    if (_delegate != nullptr) {
        _delegate->showMainApplicationWindow();
    }
}

void KTVarneskManager::cancelReport() {
    returnToMainApplication();
}

void KTVarneskManager::sendReport(const QString& xml) {
    returnToMainApplication();
    postXML(crashformat::uploadedText(xml), QUrl(_submissionURL));
}

void KTVarneskManager::postXML(const QString& xml, const QUrl& url) {
    const bool withIdentifier = !_appIdentifier.isEmpty();
    const QUrl address = withIdentifier
                             ? QUrl(_submissionURL + QStringLiteral("api/2/apps/") +
                                    QString::fromLatin1(QUrl::toPercentEncoding(_appIdentifier)) +
                                    QStringLiteral("/crashes"))
                             : url;
    _serverResult = 0;
    _statusCode = 200;
    if (!crashconfig::isAllowedUploadUrl(address)) {
        console(
            "KTVarneskManager: not sending the crash report to \"%s\": only https addresses "
            "are used",
            qUtf8Printable(address.toString()));
        _statusCode = 0;
        emit uploadFinished();
        return;
    }

    QNetworkRequest request(address);
    request.setRawHeader("User-Agent", "Varnesk/Mac");
    request.setRawHeader("Accept-Encoding", "gzip");
    request.setRawHeader("Content-type",
                         QByteArray("multipart/form-data; boundary=") + crashformat::kBoundary);
    request.setTransferTimeout(_uploadTimeoutMs);
    if (_network == nullptr) {
        _network = new QNetworkAccessManager(this);
    }
    if (_reply != nullptr) {
        // One upload at a time; the newer report wins.
        _reply->disconnect(this);
        _reply->abort();
        _reply->deleteLater();
    }
    // Sent without waiting: the reply arrives on the main loop, so the window stays usable.
    _reply = _network->post(request, crashformat::multipartBody(xml, withIdentifier));
    QNetworkReply* reply = _reply;
    connect(reply, &QNetworkReply::finished, this, [this, reply] { replyFinished(reply); });
}

void KTVarneskManager::replyFinished(QNetworkReply* reply) {
    reply->deleteLater();
    if (reply == _reply) {
        _reply = nullptr;
    }
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    _statusCode = status.isValid() ? status.toLongLong() : 0;
    // An aborted or timed-out reply is closed and has no body.
    QByteArray body = reply->isOpen() ? reply->readAll() : QByteArray();
    if (reply->rawHeader("Content-Encoding").trimmed().toLower() == "gzip") {
        body = gunzipped(body);
    }
    if (!body.isEmpty() && _statusCode >= 200 && _statusCode <= 399) {
        parseReply(body);
    }
    emit uploadFinished();
}

void KTVarneskManager::parseReply(const QByteArray& body) {
    QXmlStreamReader parser(body);
    parser.setNamespaceProcessing(false);
    // A reply that is not well-formed stops the reading where it breaks; what was read stands.
    while (!parser.atEnd()) {
        switch (parser.readNext()) {
            case QXmlStreamReader::StartElement:
                parserDidStartElement(parser.qualifiedName().isEmpty()
                                          ? parser.name().toString()
                                          : parser.qualifiedName().toString());
                break;
            case QXmlStreamReader::Characters:
                parserFoundCharacters(parser.text().toString());
                break;
            case QXmlStreamReader::EndElement:
                parserDidEndElement(parser.qualifiedName().isEmpty()
                                        ? parser.name().toString()
                                        : parser.qualifiedName().toString());
                break;
            default:
                break;
        }
    }
}

void KTVarneskManager::parserDidStartElement(const QString& name) {
    if (name == QLatin1String("result")) {
        _contentOfProperty = QString();
    }
}

void KTVarneskManager::parserFoundCharacters(const QString& text) {
    if (_contentOfProperty) {
        *_contentOfProperty += text;
    }
}

void KTVarneskManager::parserDidEndElement(const QString& name) {
    if (name == QLatin1String("result") && _contentOfProperty) {
        const int result = crashformat::leadingInteger(*_contentOfProperty);
        if (result > _serverResult) {
            _serverResult = result;
        }
    }
}

QString KTVarneskManager::modelVersion() {
    return systeminfo::modelName();
}

QString KTVarneskManager::applicationName() {
    if (QCoreApplication::instance() != nullptr) {
        const QString name = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
        if (!name.isEmpty()) {
            return name;
        }
    }
    return QStringLiteral("tonvera");
}

QString KTVarneskManager::applicationVersionString() {
    const QString version = QCoreApplication::applicationVersion();
    return version.isEmpty() ? QStringLiteral(TONVERA_VERSION) : version;
}

QString KTVarneskManager::applicationVersion() {
    // One version number serves as both the marketing and the build version.
    return applicationVersionString();
}
