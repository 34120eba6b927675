// Showing the log file: through the desktop's file manager on D-Bus, or by opening the file
// itself when no file manager answers, and saying where it is when that fails too.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include "player/FileManagerReveal.h"
#include "support/TempHome.h"

namespace {

// Stands in for a file manager on a private bus.
class FakeFileManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")

  public:
    QStringList shown;

  public slots:
    void ShowItems(const QStringList& uris, const QString& /*startupId*/) { shown << uris; }
};

// A dbus-daemon of our own, so the test neither needs nor disturbs a desktop session.
class PrivateBus {
  public:
    PrivateBus() {
        const QString daemon = QStandardPaths::findExecutable("dbus-daemon");
        if (daemon.isEmpty())
            return;
        process_.start(daemon, {"--session", "--nofork", "--print-address=1"});
        if (!process_.waitForStarted(10000))
            return;
        if (!process_.waitForReadyRead(10000))
            return;
        address_ = QString::fromUtf8(process_.readLine()).trimmed();
    }
    ~PrivateBus() {
        for (const QString& name : names_)
            QDBusConnection::disconnectFromBus(name);
        process_.kill();
        process_.waitForFinished(10000);
    }
    bool ok() const { return !address_.isEmpty(); }
    QDBusConnection connect(const QString& name) {
        names_ << name;
        return QDBusConnection::connectToBus(address_, name);
    }

  private:
    QProcess process_;
    QString address_;
    QStringList names_;
};

}  // namespace

TEST(FileManagerReveal, WithoutASessionBusTheFileIsOpenedOrItsPlaceTold) {
    testsupport::TempDir tmp;
    const QString log = QString::fromStdString(tmp.file("tonvera_log.txt"));
    FileManagerReveal reveal(QDBusConnection(QStringLiteral("tonvera-test-no-such-bus")));
    QList<QUrl> opened;
    bool opens = true;
    reveal.setFileOpener([&opened, &opens](const QUrl& url) {
        opened << url;
        return opens;
    });
    QStringList told;
    reveal.setNotShown([&told](const QString& path) { told << path; });
    reveal.reveal(log);
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened.first(), QUrl::fromLocalFile(log));
    EXPECT_TRUE(told.isEmpty());
    // No application for it either: the caller hears where the file is.
    opens = false;
    reveal.reveal(log);
    EXPECT_EQ(told, QStringList{log});
}

TEST(FileManagerReveal, AFileManagerOnTheBusShowsTheFileSelected) {
    PrivateBus bus;
    if (!bus.ok())
        GTEST_SKIP() << "dbus-daemon not available";
    QDBusConnection service = bus.connect("tonvera-test-fm-service");
    ASSERT_TRUE(service.isConnected());
    FakeFileManager fake;
    ASSERT_TRUE(service.registerObject("/org/freedesktop/FileManager1", &fake,
                                       QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(service.registerService("org.freedesktop.FileManager1"));

    testsupport::TempDir tmp;
    const QString log = QString::fromStdString(tmp.file("tonvera log.txt"));
    FileManagerReveal reveal(bus.connect("tonvera-test-fm-client"));
    int fileOpens = 0;
    reveal.setFileOpener([&fileOpens](const QUrl&) { return ++fileOpens > 0; });
    reveal.reveal(log);
    ASSERT_TRUE(QTest::qWaitFor([&fake] { return !fake.shown.isEmpty(); }, 10000));
    EXPECT_EQ(fake.shown, QStringList{QUrl::fromLocalFile(log).toString()});
    QTest::qWait(100);  // an error reply, if any, would arrive now
    EXPECT_EQ(fileOpens, 0);
}

TEST(FileManagerReveal, ABusWithoutAFileManagerFallsBackToOpeningTheFile) {
    PrivateBus bus;
    if (!bus.ok())
        GTEST_SKIP() << "dbus-daemon not available";
    testsupport::TempDir tmp;
    FileManagerReveal reveal(bus.connect("tonvera-test-fm-lonely"));
    QList<QUrl> opened;
    reveal.setFileOpener([&opened](const QUrl& url) {
        opened << url;
        return true;
    });
    const QString log = QString::fromStdString(tmp.file("tonvera_log.txt"));
    reveal.reveal(log);
    ASSERT_TRUE(QTest::qWaitFor([&opened] { return !opened.isEmpty(); },
                                FileManagerReveal::kCallTimeoutMs + 5000));
    EXPECT_EQ(opened.first(), QUrl::fromLocalFile(log));
}

#include "FileManagerRevealTest.moc"
