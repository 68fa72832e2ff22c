#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QScrollArea>
#include <QTimer>

#include <atomic>
#include <thread>

#include "app/ACStepViewController.h"
#include "common/TemporaryDirectory.h"
#include "ui/QtControls.h"
#include "ui/QtMainLoop.h"
#include "ui/UploaderApplication.h"
#include "ui/UploaderWindow.h"

namespace tomely::ui {
namespace {

UploaderWindow& uploaderWindowOf(UploaderApplication& application) {
    return dynamic_cast<UploaderWindow&>(*application.delegate().window());
}

TEST(UploaderWindowTest, ShowsTheFirstStepInTheStepAreaWithStepOneCurrent) {
    UploaderApplication application;
    application.start();
    UploaderWindow& window = uploaderWindowOf(application);
    QWidget* top = window.widget();
    ASSERT_TRUE(top->isVisible());

    const ACMainViewController& container = application.delegate().uploaderWindow()->mainViewController();
    ASSERT_NE(container.contentViewController(), nullptr);
    QWidget* stepView = dynamic_cast<QtView&>(container.contentViewController()->view()).widget();
    EXPECT_TRUE(top->isAncestorOf(stepView));
    EXPECT_TRUE(stepView->isVisible());
    // By default the step area is 595 x 470, 20 in from the window's right and top edges.
    const auto* stepArea = top->findChild<QScrollArea*>();
    ASSERT_NE(stepArea, nullptr);
    EXPECT_TRUE(stepArea->isAncestorOf(stepView));
    EXPECT_EQ(stepArea->size(), QSize(595, 470));
    EXPECT_EQ(stepArea->geometry().top(), 20);
    EXPECT_EQ(top->width() - stepArea->geometry().right() - 1, 20);

    QList<QLabel*> current;
    for (QLabel* label : top->findChildren<QLabel*>()) {
        if (label->accessibleDescription() == QStringLiteral("Current step")) {
            current.append(label);
        }
    }
    ASSERT_EQ(current.size(), 1);
    EXPECT_EQ(current[0]->text(), "1. Sign in");
    EXPECT_TRUE(current[0]->font().bold());
}

TEST(UploaderWindowTest, ClosingTheWindowEndsTheApplication) {
    UploaderApplication application;
    application.start();
    QWidget* top = uploaderWindowOf(application).widget();
    bool closedByUs = false;
    QTimer::singleShot(0, top, [&] { closedByUs = top->close(); });
    // A deadline instead of a hang should the window not end the event loop.
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, [] { QCoreApplication::exit(42); });
    deadline.start(10000);
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_TRUE(closedByUs);
}

TEST(QtMainLoopTest, WorkPostedFromAnotherThreadRunsOnTheGuiThreadAndTimersWait) {
    QtMainLoop loop;
    std::atomic<bool> postedOnMain{false};
    bool timerOnMain = false;
    std::thread worker([&] {
        EXPECT_FALSE(loop.isMainThread());
        loop.post([&] { postedOnMain = loop.isMainThread(); });
        loop.postAfter(std::chrono::milliseconds(5), [&] {
            timerOnMain = loop.isMainThread();
            QCoreApplication::exit(0);
        });
    });
    worker.join();
    QTimer deadline;
    QObject::connect(&deadline, &QTimer::timeout, [] { QCoreApplication::exit(42); });
    deadline.start(10000);
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_TRUE(postedOnMain);
    EXPECT_TRUE(timerOnMain);
}

}  // namespace
}  // namespace tomely::ui

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // The app's settings and keychain belong to this run alone: a private settings directory, and
    // no session bus, so the user's own keyring is never reached.
    const tomely::test::TemporaryDirectory home;
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(home.pathOf("config")));
    qputenv("DBUS_SESSION_BUS_ADDRESS", QByteArray::fromStdString("unix:path=" + home.pathOf("no-bus")));
    // The window is real but needs no display: the offscreen platform, unless told otherwise.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
