// The synchronous alert: window-modal on its window, answering 1000 + the index of the pressed
// button in the order the buttons were added, and gone before the answer returns.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

#include "export/AlertSheet.h"
#include "player/settingsfile/PracticeSettingsCommands.h"

namespace {

QMessageBox* visibleAlert() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(w);
        if (box && box->isVisible())
            return box;
    }
    return nullptr;
}

// Acts on the first alert that shows, the way a user would: `act` gets the alert, looks at it and
// presses a button. Polls every 10 ms; after 10 s it presses the alert's first button instead (or
// nothing when no alert ever showed), so a broken alert fails the test instead of hanging it.
void whenAlertShows(std::function<void(QMessageBox*)> act) {
    auto* timer = new QTimer;
    auto* clock = new QElapsedTimer;
    clock->start();
    QObject::connect(timer, &QTimer::timeout, [timer, clock, act] {
        QMessageBox* box = visibleAlert();
        if (box) {
            act(box);
        } else if (clock->elapsed() < 10000) {
            return;
        }
        timer->stop();
        timer->deleteLater();
        delete clock;
    });
    timer->start(10);
}

void press(QMessageBox* box, const QString& text) {
    for (QAbstractButton* b : box->buttons()) {
        if (b->text() == text) {
            QTest::mouseClick(b, Qt::LeftButton);
            return;
        }
    }
    ADD_FAILURE() << "no button " << text.toStdString();
    box->buttons().first()->click();
}

class AlertTest : public ::testing::Test {
  protected:
    void SetUp() override {
        window_.resize(640, 480);
        window_.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window_, 5000));
    }
    QMainWindow window_;
};

}  // namespace

TEST_F(AlertTest, YesAnswers1000AndNoAnswers1001) {
    for (const auto& [pressed, expected] :
         {std::pair{QStringLiteral("Yes"), qint64(1000)}, {QStringLiteral("No"), qint64(1001)}}) {
        SynchronousSheet alert;
        alert.setText(QStringLiteral("Question?"));
        alert.addButton(QStringLiteral("Yes"), QMessageBox::YesRole);
        alert.addButton(QStringLiteral("No"), QMessageBox::NoRole);
        QWidget* parentWhileShown = nullptr;
        Qt::WindowModality modality = Qt::NonModal;
        whenAlertShows([&, pressed = pressed](QMessageBox* box) {
            parentWhileShown = box->parentWidget();
            modality = box->windowModality();
            press(box, pressed);
        });
        EXPECT_EQ(alert.runModalSheetForWindow(&window_), expected);
        EXPECT_EQ(parentWhileShown, &window_);
        EXPECT_EQ(modality, Qt::WindowModal);
        EXPECT_FALSE(alert.isVisible());  // gone before the answer came back
        EXPECT_TRUE(alert.isWindow());    // a window of its own, not a child inside the window
    }
}

TEST_F(AlertTest, TheNthButtonAddedAnswers1000PlusN) {
    // Roles that the platform style lays out in another order than they were added.
    const std::vector<std::pair<QString, QMessageBox::ButtonRole>> buttons = {
        {QStringLiteral("Reject"), QMessageBox::RejectRole},
        {QStringLiteral("Help"), QMessageBox::HelpRole},
        {QStringLiteral("Accept"), QMessageBox::AcceptRole},
        {QStringLiteral("Apply"), QMessageBox::ApplyRole},
        {QStringLiteral("Other"), QMessageBox::ActionRole},
    };
    for (std::size_t n = 0; n < buttons.size(); ++n) {
        SynchronousSheet alert;
        for (const auto& [text, role] : buttons)
            alert.addButton(text, role);
        whenAlertShows([&](QMessageBox* box) { press(box, buttons[n].first); });
        EXPECT_EQ(alert.runModalSheetForWindow(&window_), qint64(1000 + n)) << n;
    }
}

TEST_F(AlertTest, EscapeAnswersNoAndRunModalSheetUsesTheMainWindow) {
    EXPECT_EQ(SynchronousSheet::mainWindow(), &window_);
    SynchronousSheet alert;
    alert.addButton(QStringLiteral("Yes"), QMessageBox::YesRole);
    alert.addButton(QStringLiteral("No"), QMessageBox::NoRole);
    QWidget* parentWhileShown = nullptr;
    whenAlertShows([&](QMessageBox* box) {
        parentWhileShown = box->parentWidget();
        QTest::keyClick(box, Qt::Key_Escape);
    });
    EXPECT_EQ(alert.runModalSheet(), 1001);
    EXPECT_EQ(parentWhileShown, &window_);
}

TEST_F(AlertTest, AnAlertWhoseWindowGoesAwayAnswersNothing) {
    auto* window = new QMainWindow;
    window->show();
    const QPointer<SynchronousSheet> alert(new SynchronousSheet);
    alert->addButton(QStringLiteral("Yes"), QMessageBox::YesRole);
    whenAlertShows([window](QMessageBox*) { window->deleteLater(); });
    EXPECT_EQ(alert->runModalSheetForWindow(window), SynchronousSheet::kNoAnswer);
    EXPECT_TRUE(alert.isNull());  // it went with its window
}

TEST_F(AlertTest, TheSettingsQuestionIsAWarningWithYesAndNo) {
    const PracticeSettingsDialogs dialogs = PracticeSettingsDialogs::forWindow(&window_);
    QString text, informative;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttonTexts;
    whenAlertShows([&](QMessageBox* box) {
        text = box->text();
        informative = box->informativeText();
        icon = box->icon();
        for (QAbstractButton* b : box->buttons())
            buttonTexts << b->text();
        press(box, QStringLiteral("No"));
    });
    EXPECT_EQ(dialogs.askYesNo(QStringLiteral("Do you want to load the music file from the "
                                              "settings too?"),
                               QStringLiteral("settings music file: /music/a.wav")),
              1001);
    EXPECT_EQ(text, QStringLiteral("Do you want to load the music file from the settings too?"));
    EXPECT_EQ(informative, QStringLiteral("settings music file: /music/a.wav"));
    EXPECT_EQ(icon, QMessageBox::Warning);
    buttonTexts.sort();
    EXPECT_EQ(buttonTexts, QStringList({QStringLiteral("No"), QStringLiteral("Yes")}));

    whenAlertShows([](QMessageBox* box) { press(box, QStringLiteral("Yes")); });
    EXPECT_EQ(dialogs.askYesNo(QStringLiteral("Q"), QStringLiteral("I")), 1000);

    bool informed = false;
    whenAlertShows([&](QMessageBox* box) {
        informed = box->text() == QStringLiteral("Something failed.");
        press(box, QStringLiteral("OK"));
    });
    dialogs.inform(QStringLiteral("Something failed."), QStringLiteral("Details"));
    EXPECT_TRUE(informed);
    EXPECT_EQ(visibleAlert(), nullptr);
}
