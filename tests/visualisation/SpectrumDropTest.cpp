// Files dropped on the spectrum view: synthetic drag events as the desktop would deliver them.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QImage>
#include <QMimeData>
#include <QPointer>
#include <QUrl>
#include <filesystem>
#include <fstream>

#include "VisualTestSupport.h"
#include "support/TempHome.h"
#include "visualisation/SpectrumDrop.h"
#include "visualisation/SpectrumView.h"

using visualtest::ConsoleCapture;
using visualtest::pumpQueued;
using visualtest::pumpUntil;

namespace {

constexpr Qt::DropActions kEveryAction = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;

class SpectrumDropTest : public ::testing::Test {
  protected:
    void SetUp() override {
        view_ = std::make_unique<SpectrumView>();
        view_->resize(500, 130);
        view_->setFileOpener([this](const QString& path) { opened_.append(path); });
    }

    QString makeFile(const std::string& name) {
        const std::string path = dir_.file(name);
        std::ofstream(path) << "not really audio";
        return QString::fromStdString(path);
    }

    // A whole drag as the desktop delivers it: Qt hands the drop only to a widget that took
    // the drag on entering. Answers whether the drop was taken, and with which action.
    bool drop(const QMimeData& mime, Qt::DropActions actions = kEveryAction,
              Qt::DropAction* answered = nullptr) {
        QDragEnterEvent entering(QPoint(20, 20), actions, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view_.get(), &entering);
        if (!entering.isAccepted())
            return false;
        QDropEvent event(QPointF(20, 20), actions, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view_.get(), &event);
        if (answered != nullptr)
            *answered = event.dropAction();
        return event.isAccepted();
    }

    // Enters (and moves within the view when asked), then leaves again.
    bool enter(const QMimeData& mime, Qt::DropActions actions, Qt::DropAction* answered,
               bool alsoMove = false) {
        QDragEnterEvent event(QPoint(20, 20), actions, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view_.get(), &event);
        *answered = event.dropAction();
        bool taken = event.isAccepted();
        if (taken && alsoMove) {
            QDragMoveEvent moving(QPoint(30, 30), actions, &mime, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(view_.get(), &moving);
            *answered = moving.dropAction();
            taken = moving.isAccepted();
        }
        QDragLeaveEvent leaving;
        QApplication::sendEvent(view_.get(), &leaving);
        return taken;
    }

    static QMimeData* withUrls(const QList<QUrl>& urls) {
        auto* mime = new QMimeData;
        mime->setUrls(urls);
        return mime;
    }

    testsupport::TempDir dir_;
    std::unique_ptr<SpectrumView> view_;
    QStringList opened_;
};

}  // namespace

TEST_F(SpectrumDropTest, TwoFilesOpenOnlyTheFirst) {
    const QString first = makeFile("first.wav");
    const QString second = makeFile("second.mp3");
    std::unique_ptr<QMimeData> mime(
        withUrls({QUrl::fromLocalFile(first), QUrl::fromLocalFile(second)}));

    ConsoleCapture console;
    Qt::DropAction answered = Qt::IgnoreAction;
    EXPECT_TRUE(drop(*mime, kEveryAction, &answered));
    EXPECT_EQ(answered, Qt::CopyAction) << "a drop must never ask the source to move the file";
    ASSERT_TRUE(pumpUntil([this] { return !opened_.isEmpty(); }));
    pumpQueued();
    EXPECT_EQ(opened_, QStringList{first});
    EXPECT_TRUE(console.has("SpectrumView got drag'n'drop file: " + first.toStdString()));
    EXPECT_FALSE(console.has(second.toStdString()));
}

TEST_F(SpectrumDropTest, PathWithSpacesAndNonAsciiArrivesIntact) {
    const QString path = makeFile("Übung in D-Dur 1.wav");
    std::unique_ptr<QMimeData> mime(withUrls({QUrl::fromLocalFile(path)}));
    EXPECT_TRUE(drop(*mime));
    ASSERT_TRUE(pumpUntil([this] { return !opened_.isEmpty(); }));
    EXPECT_EQ(opened_, QStringList{path});
}

TEST_F(SpectrumDropTest, RemoteUrlsAreRefusedButLocalFilesAmongThemOpen) {
    std::unique_ptr<QMimeData> remote(withUrls(
        {QUrl("http://example.invalid/song.mp3"), QUrl("file://otherhost/music/song.wav")}));
    EXPECT_FALSE(drop(*remote));
    pumpQueued();
    EXPECT_TRUE(opened_.isEmpty());
    // Had the desktop delivered it anyway, the drop would find no file names in it.
    EXPECT_EQ(spectrumdrop::preferredType(*remote), spectrumdrop::DropType::None);
    EXPECT_TRUE(spectrumdrop::localFilePaths(*remote).isEmpty());

    const QString local = makeFile("local.ogg");
    std::unique_ptr<QMimeData> mixed(
        withUrls({QUrl("https://example.invalid/a.wav"), QUrl::fromLocalFile(local)}));
    EXPECT_TRUE(drop(*mixed));
    ASSERT_TRUE(pumpUntil([this] { return !opened_.isEmpty(); }));
    EXPECT_EQ(opened_, QStringList{local});
}

TEST_F(SpectrumDropTest, EmptyListAndEmptyDataAreNotTaken) {
    ConsoleCapture console;
    std::unique_ptr<QMimeData> emptyList(withUrls({}));
    EXPECT_FALSE(drop(*emptyList));
    QMimeData nothing;
    EXPECT_FALSE(drop(nothing));
    QMimeData text;
    text.setText("/tmp/not-a-url.wav");
    EXPECT_FALSE(drop(text));
    pumpQueued();
    EXPECT_TRUE(opened_.isEmpty());
    EXPECT_TRUE(console.has("DragQueen.draggingEntered"));
}

TEST_F(SpectrumDropTest, FolderIsRefused) {
    const QString folder = QString::fromStdString(dir_.file("album"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString later = makeFile("later.wav");
    std::unique_ptr<QMimeData> mime(
        withUrls({QUrl::fromLocalFile(folder), QUrl::fromLocalFile(later)}));

    ConsoleCapture console;
    EXPECT_TRUE(drop(*mime));
    pumpQueued();
    EXPECT_TRUE(opened_.isEmpty()) << "only the first path counts, and a folder is not music";
    EXPECT_TRUE(console.has("a folder is not music, not opened: " + folder.toStdString()));
}

TEST_F(SpectrumDropTest, ImageIsPreferredToFileNamesAndOpensNothing) {
    const QString file = makeFile("cover.wav");
    std::unique_ptr<QMimeData> mime(withUrls({QUrl::fromLocalFile(file)}));
    QImage picture(4, 4, QImage::Format_RGB32);
    picture.fill(Qt::red);
    mime->setImageData(picture);

    ConsoleCapture console;
    EXPECT_TRUE(drop(*mime));
    pumpQueued();
    EXPECT_TRUE(opened_.isEmpty());
    EXPECT_FALSE(console.has("Oppps....."));
    EXPECT_EQ(spectrumdrop::preferredType(*mime), spectrumdrop::DropType::Image);
}

TEST_F(SpectrumDropTest, SoundObjectIsAdmittedButOpensNothing) {
    QMimeData sound;
    sound.setData("audio/x-wav", QByteArray("RIFF....WAVE", 12));

    ConsoleCapture console;
    Qt::DropAction answered = Qt::IgnoreAction;
    EXPECT_TRUE(enter(sound, kEveryAction, &answered));
    EXPECT_EQ(answered, Qt::CopyAction);
    EXPECT_TRUE(drop(sound));
    pumpQueued();
    EXPECT_TRUE(opened_.isEmpty());
    EXPECT_TRUE(console.has("DragQueen.draggingEntered"));
    EXPECT_TRUE(console.has("Oppps....."));
}

TEST_F(SpectrumDropTest, EnteringAnswersCopyOnlyWhenTheSourceAllowsIt) {
    const QString file = makeFile("song.wav");
    std::unique_ptr<QMimeData> mime(withUrls({QUrl::fromLocalFile(file)}));
    Qt::DropAction answered = Qt::IgnoreAction;

    EXPECT_TRUE(enter(*mime, Qt::CopyAction, &answered));
    EXPECT_EQ(answered, Qt::CopyAction);
    EXPECT_TRUE(enter(*mime, Qt::CopyAction | Qt::MoveAction, &answered, true));
    EXPECT_EQ(answered, Qt::CopyAction);

    EXPECT_FALSE(enter(*mime, Qt::MoveAction, &answered));
    EXPECT_FALSE(enter(*mime, Qt::MoveAction | Qt::LinkAction, &answered));
    EXPECT_FALSE(drop(*mime, Qt::MoveAction));
    pumpQueued();
    EXPECT_TRUE(opened_.isEmpty());
}

TEST_F(SpectrumDropTest, DragsWithoutAnAdmittedTypeAreNotTaken) {
    QMimeData picture;
    picture.setImageData(QImage(2, 2, QImage::Format_RGB32));
    QMimeData text;
    text.setText("hello");
    std::unique_ptr<QMimeData> remote(withUrls({QUrl("http://example.invalid/a.wav")}));
    Qt::DropAction answered = Qt::IgnoreAction;
    EXPECT_FALSE(enter(picture, kEveryAction, &answered));
    EXPECT_FALSE(enter(text, kEveryAction, &answered));
    EXPECT_FALSE(enter(*remote, kEveryAction, &answered));
}

TEST_F(SpectrumDropTest, LeavingLogsAndChangesNothing) {
    const QString file = makeFile("song.wav");
    std::unique_ptr<QMimeData> mime(withUrls({QUrl::fromLocalFile(file)}));
    ConsoleCapture console;
    Qt::DropAction answered = Qt::IgnoreAction;
    EXPECT_TRUE(enter(*mime, kEveryAction, &answered, true));
    pumpQueued();
    EXPECT_TRUE(opened_.isEmpty());
    EXPECT_TRUE(console.has("DragQueen.draggingEntered"));
    EXPECT_TRUE(console.has("DragQueen.draggingExited"));
}

TEST_F(SpectrumDropTest, NoOpenerOrAViewGoneBeforeTheOpenIsHarmless) {
    const QString file = makeFile("song.wav");
    std::unique_ptr<QMimeData> mime(withUrls({QUrl::fromLocalFile(file)}));

    view_->setFileOpener(nullptr);
    EXPECT_TRUE(drop(*mime));
    pumpQueued();

    view_->setFileOpener([this](const QString& path) { opened_.append(path); });
    EXPECT_TRUE(drop(*mime));
    view_.reset();  // the window closes before the queued open runs
    pumpQueued();
    EXPECT_TRUE(opened_.isEmpty());
}
