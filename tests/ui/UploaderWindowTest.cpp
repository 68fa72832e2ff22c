#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
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

TEST(UploaderWindowTest, ShowsTheFirstStepInTheStepAreaWithStepOneHighlighted) {
    UploaderApplication application;
    application.start();
    UploaderWindow& window = uploaderWindowOf(application);
    QWidget* top = window.widget();
    ASSERT_TRUE(top->isVisible());
    EXPECT_GE(top->width(), 615);
    EXPECT_GE(top->height(), 490);

    const ACMainViewController& container = application.delegate().uploaderWindow()->mainViewController();
    ASSERT_NE(container.contentViewController(), nullptr);
    QWidget* stepArea = dynamic_cast<QtView&>(container.contentViewController()->view()).widget();
    EXPECT_EQ(stepArea->parentWidget(), top);
    EXPECT_TRUE(stepArea->isVisible());
    // 595 x 470, 20 points in from the right and top edges.
    EXPECT_EQ(stepArea->geometry(), QRect(top->width() - 20 - 595, 20, 595, 470));

    const auto labels = top->findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly);
    ASSERT_GE(labels.size(), 4);
    EXPECT_EQ(labels[0]->palette().color(QPalette::WindowText), QColor(0, 0, 0));
    EXPECT_EQ(labels[1]->palette().color(QPalette::WindowText), QColor(128, 128, 128));
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
