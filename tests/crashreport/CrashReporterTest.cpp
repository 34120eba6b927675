// The crash reporter: finding the crash log, offering it once, the dialog, the report document
// and its upload to a server on 127.0.0.1.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDateTime>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QTimer>
#include <QXmlStreamReader>
#include <cstdlib>
#include <functional>

#include "LocalHttpServer.h"
#include "crashreport/CrashReportConfig.h"
#include "crashreport/CrashReportFormat.h"
#include "crashreport/KTVarneskManager.h"
#include "crashreport/KTVarneskUI.h"
#include "support/TempHome.h"

namespace {

constexpr char kIdentifier[] = "0123456789abcdef0123456789abcdef";

class CountingDelegate : public KTVarneskManagerDelegate {
  public:
    void showMainApplicationWindow() override {
        ++shown;
        if (onShown) {
            onShown();
        }
    }
    int shown = 0;
    std::function<void()> onShown;
};

class CrashReporterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        QSettings(crashconfig::kOrganisation, crashconfig::kApplication)
            .remove(crashconfig::kLastCrashDateKey);
        ::unsetenv(crashconfig::kServiceUrlEnv);
        manager_.setDelegate(&delegate_);
    }
    void TearDown() override { ::unsetenv(crashconfig::kServiceUrlEnv); }

    QString folder(const char* name) const {
        const QString path =
            QString::fromStdString(home_.dataHome()) + "/Tonvera/Logs/" + QLatin1String(name);
        QDir().mkpath(path);
        return path;
    }
    // A file in `dir` modified `secondsFromNow` seconds from now.
    static QString crashLog(const QString& dir, const QString& name, int secondsFromNow,
                            const QByteArray& text = "crash\n") {
        const QString path = dir + "/" + name;
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
        const QDateTime when = QDateTime::fromSecsSinceEpoch(
            QDateTime::currentSecsSinceEpoch() + secondsFromNow, Qt::UTC);
        EXPECT_TRUE(file.setFileTime(when, QFileDevice::FileModificationTime));
        return path;
    }
    static QDateTime remembered() {
        return QSettings(crashconfig::kOrganisation, crashconfig::kApplication)
            .value(crashconfig::kLastCrashDateKey)
            .toDateTime();
    }
    static bool waitFor(const std::function<bool()>& condition, int timeoutMs = 5000) {
        return QTest::qWaitFor(condition, timeoutMs);
    }

    testsupport::TempHome home_;
    CountingDelegate delegate_;
    KTVarneskManager manager_;
};

// Closes the dialog that the manager runs modally, from inside its modal loop.
void whenDialogOpens(const std::function<void(QWidget*)>& act) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [poll, act] {
        if (QWidget* dialog = QApplication::activeModalWidget()) {
            poll->stop();
            poll->deleteLater();
            act(dialog);
        }
    });
    poll->start(20);
}

}  // namespace

TEST_F(CrashReporterTest, OffersEachNewCrashLogOfThisProgramOnce) {
    const QString reports = folder("DiagnosticReports");
    const QString reporter = folder("CrashReporter");
    const QString prefix = KTVarneskManager::applicationName();
    ASSERT_EQ(prefix, "test_crashreport");

    // First start ever: an old crash log is not offered, and now is remembered.
    crashLog(reports, prefix + "_old.crash", -3600);
    EXPECT_FALSE(manager_.hasPendingCrashReport());
    EXPECT_LE(std::abs(remembered().secsTo(QDateTime::currentDateTimeUtc())), 5);

    // A newer one is offered once: the second check finds the same date.
    const QString newer = crashLog(reports, prefix + "_new.txt", 60);
    EXPECT_TRUE(manager_.hasPendingCrashReport());
    EXPECT_EQ(manager_.crashFile(), newer);
    EXPECT_FALSE(manager_.hasPendingCrashReport());

    // Other programs' logs, and a name that differs only in case, do not count.
    crashLog(reports, "other_program.crash", 120);
    crashLog(reports, prefix.toUpper() + "_shout.crash", 120);
    EXPECT_FALSE(manager_.hasPendingCrashReport());
    EXPECT_EQ(manager_.crashFile(), newer);

    // The first folder wins even over a newer log in the second one...
    const QString second = crashLog(reporter, prefix + "_second.crash", 180);
    EXPECT_FALSE(manager_.hasPendingCrashReport());
    EXPECT_EQ(manager_.crashFile(), newer);
    // ...which is searched only when the first holds nothing of this program.
    QDir(reports).removeRecursively();
    EXPECT_TRUE(manager_.hasPendingCrashReport());
    EXPECT_EQ(manager_.crashFile(), second);
}

TEST_F(CrashReporterTest, TheDialogRunsBeforeTheMainWindowAndCancelShowsIt) {
    const QString reports = folder("DiagnosticReports");
    EXPECT_FALSE(manager_.hasPendingCrashReport());  // first start
    crashLog(reports, KTVarneskManager::applicationName() + "_x.crash", 60,
             "header\n**********\n\nThread 0 Crashed:\n0 frame\n");

    int shownWhileDialogOpen = -1;
    whenDialogOpens([&](QWidget* dialog) {
        // Give the second deferred check time to come due inside the modal loop.
        QTest::qWait(300);
        shownWhileDialogOpen = delegate_.shown;
        dialog->findChild<QPushButton*>("cancelButton")->click();
    });
    // As at launch: two address settings, two deferred checks.
    manager_.setSubmissionURL("https://script.invalid/crash_v200.php");
    manager_.setAppIdentifier(kIdentifier);
    ASSERT_TRUE(waitFor([&] { return delegate_.shown == 2; }));
    EXPECT_EQ(shownWhileDialogOpen, 0);
    ASSERT_NE(manager_.varneskUI(), nullptr);
    EXPECT_EQ(manager_.varneskUI()->crashLogContent(), "Thread 0 Crashed:\n0 frame\n");
    QTest::qWait(300);
    EXPECT_EQ(delegate_.shown, 2);  // offered once, and no more checks are due
}

TEST_F(CrashReporterTest, TheDialogTakesLineBreaksAndSendsWhatWasTyped) {
    LocalHttpServer server;
    server.answer(200, "<ok/>");
    ::setenv(crashconfig::kServiceUrlEnv, server.baseUrl().constData(), 1);
    manager_.setAppIdentifier(kIdentifier);
    QTest::qWait(200);  // the deferred check: no crash log, the main window is shown
    const int shownBefore = delegate_.shown;

    const QString log = crashLog(folder("DiagnosticReports"), "test_crashreport_y.crash", 0,
                                 "no separator ]]> here\n");
    KTVarneskUI ui(&manager_, log, "Tonvera", "test_crashreport");
    bool stillOpenAfterReturn = false;
    int heightBefore = 0, heightAfter = 0, topBefore = 0, topAfter = 0;
    whenDialogOpens([&](QWidget* dialog) {
        QTest::keyClicks(ui.descriptionTextField(), "played");
        QTest::keyClick(ui.descriptionTextField(), Qt::Key_Return);
        QTest::keyClicks(ui.descriptionTextField(), "then ]]> crashed");
        stillOpenAfterReturn = dialog->isVisible();
        heightBefore = dialog->geometry().height();
        topBefore = dialog->geometry().top();
        ui.showComments(0);
        heightAfter = dialog->geometry().height();
        topAfter = dialog->geometry().top();
        ui.showComments(1);
        ui.submitButton()->click();
        // Closed at once; the upload waits for the modal loop to end.
        EXPECT_FALSE(dialog->isVisible());
        EXPECT_FALSE(ui.submitButton()->isEnabled());
        EXPECT_TRUE(server.requests().isEmpty());
    });
    ui.askCrashReportDetails();
    EXPECT_EQ(ui.window()->windowTitle(), "Problem Report for test_crashreport");
    EXPECT_TRUE(stillOpenAfterReturn);
    EXPECT_EQ(heightAfter, heightBefore - 105);
    EXPECT_EQ(topAfter, topBefore);
    EXPECT_EQ(ui.crashLogContent(), "no separator ]]> here\n");

    ASSERT_TRUE(waitFor([&] { return server.requests().size() == 1; }));
    EXPECT_EQ(delegate_.shown, shownBefore + 1);  // shown before the upload
    const QByteArray body = server.requests()[0].body;
    EXPECT_TRUE(body.contains("<userid></userid><contact></contact>"));
    EXPECT_TRUE(body.contains("<senderversion>" TONVERA_VERSION
                              "</senderversion><version>" TONVERA_VERSION "</version>"));

    // The "]]>" of the description and the log are split, so the document stays well-formed
    // and reads back as typed.
    const qsizetype start = body.indexOf("<crashes>");
    const qsizetype end = body.indexOf("</crashes>") + 10;
    QXmlStreamReader xml(body.mid(start, end - start));
    QString description, crashLogText, current;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            current = xml.name().toString();
        } else if (xml.isCharacters() && current == "description") {
            description += xml.text();
        } else if (xml.isCharacters() && current == "log") {
            crashLogText += xml.text();
        }
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_TRUE(description.startsWith("Comments:\nplayed\nthen ]]> crashed\n\nConsole:\n"))
        << description.toStdString();
    EXPECT_EQ(crashLogText, "no separator ]]> here\n");
}

TEST_F(CrashReporterTest, UploadsByteForByteAndReadsTheLargestResult) {
    LocalHttpServer server;
    ::setenv(crashconfig::kServiceUrlEnv, server.baseUrl().constData(), 1);
    manager_.setAppIdentifier(kIdentifier);
    const QByteArray reply =
        "<reply><result>2</result><result> 5</result><result>-9</result>"
        "<result>x</result></reply>";

    server.answer(200, reply);
    manager_.sendReport("<crash>é</crash>");
    ASSERT_TRUE(waitFor([&] { return server.requests().size() == 1 && !manager_.isUploading(); }));
    const ReceivedRequest& request = server.requests()[0];
    EXPECT_EQ(request.requestLine,
              QByteArray("POST /api/2/apps/") + kIdentifier + "/crashes HTTP/1.1");
    EXPECT_EQ(request.headers.value("user-agent"), "Varnesk/Mac");
    EXPECT_EQ(request.headers.value("accept-encoding"), "gzip");
    EXPECT_EQ(request.headers.value("content-type"), "multipart/form-data; boundary=----FOO");
    EXPECT_EQ(request.body,
              "------FOO\r\n"
              "Content-Disposition: form-data; name=\"xml\"; filename=\"crash.xml\"\r\n"
              "Content-Type: text/xml\r\n\r\n"
              "<crashes><crash>\xc3\xa9</crash></crashes>"
              "\r\n------FOO--\r\n");
    EXPECT_EQ(manager_.statusCode(), 200);
    EXPECT_EQ(manager_.serverResult(), 5);

    server.answer(404, reply);
    manager_.sendReport("<crash/>");
    ASSERT_TRUE(waitFor([&] { return server.requests().size() == 2 && !manager_.isUploading(); }));
    EXPECT_EQ(manager_.statusCode(), 404);
    EXPECT_EQ(manager_.serverResult(), 0);

    // Without an identifier: the submission address itself, and a plain form field.
    KTVarneskManager plain;
    plain.setSubmissionURL(server.baseUrl() + "crash_v200.php");
    server.answer(200, reply);
    plain.sendReport("<crash/>");
    ASSERT_TRUE(waitFor([&] { return server.requests().size() == 3 && !plain.isUploading(); }));
    EXPECT_EQ(server.requests()[2].requestLine, "POST /crash_v200.php HTTP/1.1");
    EXPECT_EQ(server.requests()[2].body,
              "------FOO\r\nContent-Disposition: form-data; name=\"xmlstring\"\r\n\r\n"
              "<crashes><crash/></crashes>\r\n------FOO--\r\n");
    EXPECT_EQ(plain.serverResult(), 5);

    // Plain http to anywhere but this machine is refused before anything is sent.
    plain.setSubmissionURL("http://192.0.2.1/crash_v200.php");
    plain.sendReport("<crash/>");
    EXPECT_FALSE(plain.isUploading());
    EXPECT_EQ(plain.statusCode(), 0);
}

TEST_F(CrashReporterTest, AServerThatNeverAnswersTimesOutWhileTheLoopRuns) {
    LocalHttpServer server;
    server.neverAnswer();
    ::setenv(crashconfig::kServiceUrlEnv, server.baseUrl().constData(), 1);
    manager_.setAppIdentifier(kIdentifier);
    manager_.setUploadTimeout(400);
    int ticks = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] { ++ticks; });
    tick.start(10);

    manager_.sendReport("<crash/>");
    EXPECT_TRUE(manager_.isUploading());  // sendReport returned without waiting for the reply
    ASSERT_TRUE(waitFor([&] { return !manager_.isUploading(); }));
    EXPECT_EQ(server.requests().size(), 1);
    EXPECT_EQ(manager_.statusCode(), 0);
    EXPECT_EQ(manager_.serverResult(), 0);
    EXPECT_GT(ticks, 5);  // the event loop kept running while the upload waited
}

TEST(CrashReportFormatTest, ConsoleExcerptKeepsTheNewestLinesWithinTheLimits) {
    QString log;
    for (int i = 0; i < 250; ++i) {
        log += QString("Dec  8 10:00:00 host tonvera[42]: line %1\n").arg(i);
        log += "Dec  8 10:00:00 host other[7]: tonvera said hello\n";
        log += "Dec  8 10:00:00 host kernel: tonvera: no bracket\n";
    }
    const QStringList lines =
        crashformat::consoleExcerpt(log, "tonvera").split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 99);
    EXPECT_TRUE(lines.front().endsWith("line 249"));
    EXPECT_TRUE(lines.back().endsWith("line 151"));

    const QString three = "a tonvera[1]: one\nb tonvera[1]: two\nc tonvera[1]: three";
    EXPECT_EQ(crashformat::consoleExcerpt(three, "tonvera"),
              "c tonvera[1]: three\nb tonvera[1]: two\na tonvera[1]: one\n");

    // 60 lines of 1,000 characters: cut to the 50,000 that end before the final line feed.
    QString longLog;
    for (int i = 0; i < 60; ++i) {
        longLog += QString("tonvera[1]:%1\n").arg(i, 988, 10, QChar('0'));
    }
    const QString excerpt = crashformat::consoleExcerpt(longLog, "tonvera");
    ASSERT_EQ(excerpt.size(), 50000);
    EXPECT_TRUE(excerpt.endsWith(QString("%1").arg(0, 988, 10, QChar('0'))));
    EXPECT_FALSE(excerpt.endsWith('\n'));

    EXPECT_EQ(crashformat::crashLogSection("whole log\n"), "whole log\n");
    EXPECT_EQ(crashformat::crashLogSection("a**********\n\nb**********\n\nc"), "c");
}
