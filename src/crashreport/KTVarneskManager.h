// The crash reporter: shortly after start it looks for a crash log newer than the last one seen,
// asks the user about it (KTVarneskUI) and posts the report; either way it then hands control
// back to its delegate, which shows the main window.
//
// Threads: main thread only. The two deferred checks and the upload's reply are delivered by the
// main event loop; the upload itself runs in Qt Network, so the window stays responsive while
// it waits for the service.
#ifndef TONVERA_CRASHREPORT_KTVARNESKMANAGER_H
#define TONVERA_CRASHREPORT_KTVARNESKMANAGER_H

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QUrl>
#include <memory>
#include <optional>

class KTVarneskUI;
class QNetworkAccessManager;
class QNetworkReply;

// Implemented by whoever shows the main window once the crash reporter is done.
class KTVarneskManagerDelegate {
  public:
    virtual void showMainApplicationWindow() = 0;

  protected:
    // Tells the shared manager to forget this delegate, so it never calls a dead one.
    ~KTVarneskManagerDelegate();
};

class KTVarneskManager : public QObject {
    Q_OBJECT

  public:
    // Made on first use; lives until the application object goes at the end of the program.
    static KTVarneskManager* sharedVarneskManager();

    // Tests make their own managers; the program uses the shared one.
    explicit KTVarneskManager(QObject* parent = nullptr);
    ~KTVarneskManager() override;

    // Both address settings schedule one startManager() 0.1 s later.
    void setSubmissionURL(const QString& url);
    QString submissionURL() const { return _submissionURL; }
    void setCompanyName(const QString& name) { _companyName = name; }
    QString companyName() const { return _companyName; }
    // Not owned.
    void setDelegate(KTVarneskManagerDelegate* delegate) { _delegate = delegate; }
    KTVarneskManagerDelegate* delegate() const { return _delegate; }
    // Replaces the submission address by the collection service's base address.
    void setAppIdentifier(const QString& identifier);
    QString appIdentifier() const { return _appIdentifier; }

    void startManager();
    // True once for each crash log newer than the remembered date; remembers the log's date.
    bool hasPendingCrashReport();
    // _crashFile becomes the newest entry of `folder` whose name begins with applicationName().
    void searchCrashLogFile(const QString& folder);
    void returnToMainApplication();
    // The dialog's answers.
    void cancelReport();
    void sendReport(const QString& xml);

    static QString modelVersion();
    // The executable's name, as the crash logs and the system log name it.
    static QString applicationName();
    static QString applicationVersionString();
    static QString applicationVersion();

    // ---- the last search and upload
    QString crashFile() const { return _crashFile; }
    KTVarneskUI* varneskUI() const { return _varneskUI.get(); }
    int serverResult() const { return _serverResult; }
    qint64 statusCode() const { return _statusCode; }
    bool isUploading() const { return _reply != nullptr; }
    // 15 s; tests shorten it.
    void setUploadTimeout(int milliseconds) { _uploadTimeoutMs = milliseconds; }

    // Forgets `delegate` if it is the shared manager's.
    static void forgetDelegate(const KTVarneskManagerDelegate* delegate);

  signals:
    // The upload's reply has been read (or it failed or timed out).
    void uploadFinished();

  private:
    // Builds the request and sends it; `url` is used when no application identifier is set.
    void postXML(const QString& xml, const QUrl& url);
    void replyFinished(QNetworkReply* reply);
    void parseReply(const QByteArray& body);
    void parserDidStartElement(const QString& name);
    void parserFoundCharacters(const QString& text);
    void parserDidEndElement(const QString& name);
    void scheduleStart();

    int _serverResult = -1;
    qint64 _statusCode = 0;
    std::optional<QString> _contentOfProperty;
    KTVarneskManagerDelegate* _delegate = nullptr;
    QString _submissionURL;
    QString _companyName;
    QString _appIdentifier;
    QString _crashFile;
    std::unique_ptr<KTVarneskUI> _varneskUI;

    // Qt delivers timers inside a modal dialog's loop, where the platform this follows does not:
    // a check that comes due while the dialog runs waits until it has closed.
    bool _dialogRunning = false;
    bool _startAfterDialog = false;
    int _uploadTimeoutMs = 15000;
    QNetworkAccessManager* _network = nullptr;  // child of this object, made on first upload
    QNetworkReply* _reply = nullptr;            // the upload in flight, child of _network
};

#endif
