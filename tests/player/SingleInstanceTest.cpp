// Handing a file to the running program over the local socket, and what a broken or hostile
// peer can and cannot do to the running one.
#include <gtest/gtest.h>

#include <QDir>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTest>
#include <QtEndian>
#include <future>

#include "player/SingleInstance.h"
#include "support/TempHome.h"

namespace {

class SingleInstanceTest : public ::testing::Test {
  protected:
    QString socketName() const { return QString::fromStdString(dir_.file("tonvera.sock")); }

    // The second start blocks on the socket, so it runs on its own thread while this one keeps
    // the running program's event loop going.
    bool handOverFromAnotherStart(const QStringList& paths, int timeoutMs = 5000) {
        auto result = std::async(std::launch::async, [this, paths, timeoutMs] {
            SingleInstance second(socketName());
            return second.handOver(paths, timeoutMs);
        });
        const bool done = QTest::qWaitFor(
            [&result] {
                return result.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
            },
            timeoutMs * 3);
        EXPECT_TRUE(done) << "the second start hung";
        return done && result.get();
    }

    testsupport::TempDir dir_;
};

}  // namespace

TEST_F(SingleInstanceTest, NobodyRunningMeansThisStartGoesOn) {
    SingleInstance first(socketName());
    EXPECT_FALSE(first.handOver({"/music/a.wav"}, 1000));
}

TEST_F(SingleInstanceTest, ASecondStartHandsItsFilesToTheRunningOne) {
    SingleInstance running(socketName());
    ASSERT_TRUE(running.listen());
    QSignalSpy opened(&running, &SingleInstance::openRequested);
    QSignalSpy activated(&running, &SingleInstance::activationRequested);

    const QString withBlanks = QString::fromStdString(dir_.file("my song ü.wav"));
    EXPECT_TRUE(handOverFromAnotherStart({withBlanks, "relative.mp3"}));
    ASSERT_TRUE(QTest::qWaitFor([&opened] { return opened.count() == 2; }, 5000));
    EXPECT_EQ(opened.at(0).at(0).toString(), withBlanks);
    // Relative paths are made absolute by the sender, whose working folder they belong to.
    EXPECT_EQ(opened.at(1).at(0).toString(), QDir::current().absoluteFilePath("relative.mp3"));
    EXPECT_EQ(activated.count(), 1);

    // A start without a file only brings the window forward.
    EXPECT_TRUE(handOverFromAnotherStart({}));
    ASSERT_TRUE(QTest::qWaitFor([&activated] { return activated.count() == 2; }, 5000));
    EXPECT_EQ(opened.count(), 2);
}

TEST_F(SingleInstanceTest, ASocketLeftByACrashedRunIsReplaced) {
    {
        QFile stale(socketName());
        ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    }
    SingleInstance running(socketName());
    EXPECT_FALSE(running.handOver({}, 500));
    ASSERT_TRUE(running.listen());
    QSignalSpy opened(&running, &SingleInstance::openRequested);
    EXPECT_TRUE(handOverFromAnotherStart({"/x.wav"}));
    EXPECT_TRUE(QTest::qWaitFor([&opened] { return opened.count() == 1; }, 5000));
}

TEST_F(SingleInstanceTest, OversizedOrTruncatedMessagesOpenNothing) {
    SingleInstance running(socketName());
    ASSERT_TRUE(running.listen());
    QSignalSpy opened(&running, &SingleInstance::openRequested);

    // Claims 4 GiB: dropped at once, nothing reserved for it.
    QLocalSocket huge;
    huge.connectToServer(socketName());
    ASSERT_TRUE(huge.waitForConnected(5000));
    char header[4];
    qToBigEndian<quint32>(0xFFFFFFFFU, header);
    huge.write(header, 4);
    huge.flush();
    EXPECT_TRUE(
        QTest::qWaitFor([&huge] { return huge.state() == QLocalSocket::UnconnectedState; }, 5000))
        << "the server kept an oversized peer";

    // Announces more than it sends, then goes away.
    QLocalSocket partial;
    partial.connectToServer(socketName());
    ASSERT_TRUE(partial.waitForConnected(5000));
    qToBigEndian<quint32>(100U, header);
    partial.write(header, 4);
    partial.write("/only/part");
    partial.flush();
    QTest::qWait(200);
    partial.disconnectFromServer();
    QTest::qWait(200);
    EXPECT_EQ(opened.count(), 0);

    // The server still serves a proper start afterwards.
    EXPECT_TRUE(handOverFromAnotherStart({"/after.wav"}));
    EXPECT_TRUE(QTest::qWaitFor([&opened] { return opened.count() == 1; }, 5000));
}
