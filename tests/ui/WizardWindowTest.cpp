// The real window, under Qt's offscreen platform, walked from sign-in to done against the
// reference service, with the keyboard as a user would: typing, and Return for Continue.
#ifdef TOMELY_SHELF_EXECUTABLE

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <filesystem>

#include "ShelfClient.h"
#include "ShelfProcess.h"
#include "WizardDriver.h"
#include "common/ScopedEnvironment.h"
#include "common/TemporaryDirectory.h"
#include "common/ZipBuilder.h"
#include "steps/ACLocateBookViewController.h"
#include "steps/ACPrepareBookViewController.h"
#include "steps/ACUploadDoneViewController.h"

namespace tomely::ui {
namespace {

constexpr const char* kEmail = "ann@example.com";
constexpr const char* kPassword = "ann-secret";

TEST(WizardWindowTest, TheKeyboardWalksTheWindowFromSignInToDone) {
    test::TemporaryDirectory directory;
    shelf::client::ShelfProcess service(TOMELY_SHELF_EXECUTABLE,
                                        {"--listen", "127.0.0.1:0", "--data", directory.pathOf("shelf")},
                                        {{kEmail, kPassword}});
    test::ScopedEnvironment environment;
    environment.set("TOMELY_SERVICE_URL", "http://127.0.0.1:" + std::to_string(service.port()))
        .set("XDG_DATA_HOME", directory.pathOf("data"));
    const std::string book = directory.pathOf("window-test.iba");
    test::ZipBuilder(book)
        .add("index.xml", R"(<sl:textbook sl:GUID="WINDOW-1"><sl:title>W</sl:title></sl:textbook>)")
        .add("chapters/one.xhtml", "<html><p>One</p></html>");

    UploaderApplication application(book);
    application.start();
    WizardDriver driver(application);
    ASSERT_TRUE(driver.waitUntil([&] { return driver.control("emailField") != nullptr; }));
    ASSERT_TRUE(driver.activateWindow());
    EXPECT_TRUE(driver.control("emailField")->hasFocus()) << "the first field takes the keyboard";
    driver.type("emailField", kEmail);
    driver.type("passwordField", kPassword);
    driver.pressReturn();

    ASSERT_TRUE(driver.waitForStep<ACLocateBookViewController>());
    EXPECT_EQ(driver.control<QLabel>("filePathText")->text(), "window-test.iba");
    driver.pressReturn();

    ASSERT_TRUE(driver.waitForStep<ACPrepareBookViewController>());
    driver.type("generateBookField", QStringLiteral("Window Test"));
    driver.pressReturn();
    ASSERT_TRUE(driver.waitForStep<ACUploadDoneViewController>());

    // Return now presses Close, which ends the application.
    QTimer::singleShot(0, [&driver] { driver.pressReturn(); });
    QTimer deadline;
    QObject::connect(&deadline, &QTimer::timeout, [] { QCoreApplication::exit(42); });
    deadline.start(10000);
    EXPECT_EQ(QApplication::exec(), 0);

    shelf::client::ShelfClient client("127.0.0.1", service.port());
    ASSERT_EQ(client.signIn(kEmail, kPassword).status, 200);
    EXPECT_NE(client.list().body.find(R"("title":"Window Test")"), std::string::npos);
}

// Closing the window while the book is extracted, fingerprinted or uploaded ends the application
// at once; what still runs on other threads then must neither crash nor say anything.
TEST(QuitWhileWorkingTest, ClosingTheWindowDuringEachStageOfTheWorkEndsTheProcessQuietly) {
    test::TemporaryDirectory directory;
    shelf::client::ShelfProcess service(TOMELY_SHELF_EXECUTABLE,
                                        {"--listen", "127.0.0.1:0", "--data", directory.pathOf("shelf")},
                                        {{kEmail, kPassword}});
    // Large enough that each stage is still under way when the window closes.
    const std::string book = directory.pathOf("large.iba");
    {
        test::ZipBuilder zip(book);
        zip.add("index.xml", R"(<sl:textbook sl:GUID="QUIT-1"><sl:title>Q</sl:title></sl:textbook>)");
        for (unsigned file = 0; file < 12; ++file) {
            zip.add("media/clip" + std::to_string(file) + ".mov", test::randomBytes(4'000'000, file),
                    {.method = test::ZipBuilder::Method::Stored});
        }
    }
    // A display of its own, whose number Xvfb picks and tells on its output.
    shelf::client::ShelfProcess display("/usr/bin/Xvfb",
                                        {"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"}, "");
    std::smatch number;
    ASSERT_TRUE(display.waitForOutput(std::regex(R"((^|\n)([0-9]+)\n)"), number, std::chrono::seconds(30)))
        << display.output();
    const std::string runtime = directory.pathOf("runtime");
    std::filesystem::create_directories(runtime);
    std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
    test::ScopedEnvironment environment;
    environment.set("TOMELY_SERVICE_URL", "http://127.0.0.1:" + std::to_string(service.port()))
        .set("XDG_CACHE_HOME", directory.pathOf("cache"))
        .set("XDG_CONFIG_HOME", directory.pathOf("config"))
        .set("XDG_RUNTIME_DIR", runtime)
        .set("DISPLAY", ":" + number[2].str())
        .set("QT_QPA_PLATFORM", "xcb");
    for (const char* stage : {"extraction", "fingerprinting", "upload"}) {
        SCOPED_TRACE(stage);
        environment.set("XDG_DATA_HOME", directory.pathOf(std::string("data-") + stage));
        shelf::client::ShelfProcess app(TOMELY_QUIT_WHILE_WORKING, {stage, book, kEmail, kPassword}, "");
        EXPECT_EQ(app.wait(std::chrono::seconds(120)), 0);
        EXPECT_EQ(app.output(), "");
    }
}

}  // namespace
}  // namespace tomely::ui

#endif
