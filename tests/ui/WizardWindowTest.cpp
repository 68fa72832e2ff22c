// The real window, under Qt's offscreen platform, walked from sign-in to done against the
// reference service, with the keyboard as a user would: typing, and Return for Continue.
#ifdef TOMELY_SHELF_EXECUTABLE

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

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

}  // namespace
}  // namespace tomely::ui

#endif
