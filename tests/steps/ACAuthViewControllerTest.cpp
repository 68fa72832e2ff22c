#include "steps/ACAuthViewController.h"

#include <gtest/gtest.h>

#include "WizardFixture.h"
#include "common/ScriptedHTTPServer.h"
#include "steps/ACLocateBookViewController.h"

namespace tomely {
namespace {

using test::ScriptedResponse;

class ACAuthViewControllerTest : public test::WizardFixture {
protected:
    void SetUp() override { launch(server.baseURL()); }

    // Fills the form, presses Continue and waits for the answer to be dealt with.
    void submit(const std::string& email, const std::string& password) {
        authView().email.setText(email);
        authView().password.setText(password);
        pressContinue();
        runUntil([this] { return window->continueButton.isEnabled() || desktop.application.terminateCount > 0; });
    }

    test::ScriptedHTTPServer server;
};

TEST_F(ACAuthViewControllerTest, EmptyFieldsShowTheirLabelsAndNothingIsSentOrStored) {
    EXPECT_TRUE(authView().emailError.isHidden());
    pressContinue();
    EXPECT_FALSE(authView().emailError.isHidden());
    EXPECT_FALSE(authView().passwordError.isHidden());

    authView().email.setText("ann@example.com");
    pressContinue();
    EXPECT_TRUE(authView().emailError.isHidden()) << "every press hides the labels first";
    EXPECT_FALSE(authView().passwordError.isHidden());
    EXPECT_TRUE(window->continueButton.isEnabled());
    drainMainLoop();
    EXPECT_EQ(server.requestCount(), 0U);
    EXPECT_TRUE(userDefaults.values.empty());
    EXPECT_TRUE(keychain.items.empty());
}

TEST_F(ACAuthViewControllerTest, A403RestoresTheFormAndStillStoresTheRejectedCredentials) {
    server.enqueue(ScriptedResponse::text(403, "wrong"));
    // A blank address is content: it is posted as typed, and the service judges it.
    submit(" ", "pass word&");
    ASSERT_EQ(server.requestCount(), 1U);
    EXPECT_EQ(server.requests().front().body, "email=%20&password=pass%20word%26");

    EXPECT_FALSE(authView().credentialsError.isHidden());
    EXPECT_TRUE(authView().progress.isHidden());
    EXPECT_TRUE(window->continueButton.isEnabled());
    EXPECT_EQ(desktop.alerts.shown.size(), 0U);
    EXPECT_EQ(userDefaults.values["lastEmail"], " ");
    EXPECT_EQ((keychain.items[{"Tomely_uploader", " "}]), "pass word&");

    // A second try hides the label again while it waits for the answer.
    server.enqueue(ScriptedResponse::text(200, "{}"));
    pressContinue();
    EXPECT_TRUE(authView().credentialsError.isHidden());
    EXPECT_FALSE(window->continueButton.isEnabled());
    EXPECT_TRUE(waitForStep<ACLocateBookViewController>());
}

TEST_F(ACAuthViewControllerTest, AnyOtherStatusOrNoAnswerEndsTheWizardThroughTheAlert) {
    server.enqueue(ScriptedResponse::text(401, "who?"));
    submit("ann@example.com", "secret");
    ASSERT_EQ(desktop.alerts.shown.size(), 1U);
    EXPECT_EQ(desktop.alerts.shown[0].messageText, "HTTP failure");
    EXPECT_NE(desktop.alerts.shown[0].informativeText.find("status code 401"), std::string::npos);
    EXPECT_EQ(desktop.application.terminateCount, 1);
    EXPECT_EQ(currentStep<ACLocateBookViewController>(), nullptr);
}

TEST_F(ACAuthViewControllerTest, ASignInRedirectedToAnotherServerEndsInTheAlertAndThatServerHearsNothing) {
    test::ScriptedHTTPServer elsewhere;
    server.enqueue(
        ScriptedResponse::text(307, "moved", {{"Location", elsewhere.url("/api/author/shelf/upload/auth/")}}));
    submit("ann@example.com", "secret");
    ASSERT_EQ(desktop.alerts.shown.size(), 1U);
    EXPECT_EQ(desktop.alerts.shown[0].messageText, "HTTP failure");
    EXPECT_EQ(desktop.alerts.shown[0].informativeText, "A HTTP call failed with status code 307. Can not continue. \n" +
                                                           server.url("/api/author/shelf/upload/auth/"));
    EXPECT_EQ(desktop.application.terminateCount, 1);
    EXPECT_EQ(elsewhere.requestCount(), 0U);
}

class ACAuthViewControllerAutofillTest : public ACAuthViewControllerTest {
protected:
    void SetUp() override {
        userDefaults.values["lastEmail"] = "ann@example.com";
        keychain.items[{"Tomely_uploader", "ann@example.com"}] = "stored";
        ACAuthViewControllerTest::SetUp();
    }
};

TEST_F(ACAuthViewControllerAutofillTest, AutofillReplacesWhatWasTypedAndBringsTheWindowForward) {
    authView().email.setText("typed early");
    authView().password.setText("typed early");
    runUntil([this] { return authView().password.text() == "stored"; });
    EXPECT_EQ(authView().email.text(), "ann@example.com");

    // The links open the service's pages.
    authView().forgotten.click();
    authView().signup.click();
    EXPECT_EQ(desktop.workspace.openedURLs,
              (std::vector<std::string>{server.url("/account/recover/"), server.url("/account/register/")}));
}

}  // namespace
}  // namespace tomely
