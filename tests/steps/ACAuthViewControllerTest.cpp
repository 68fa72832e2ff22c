#include "steps/ACAuthViewController.h"

#include <gtest/gtest.h>
#include <sys/prctl.h>

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
        const int terminated = desktop.application.terminateCount;
        pressContinue();
        runUntil([&] { return window->continueButton.isEnabled() || desktop.application.terminateCount > terminated; });
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
    EXPECT_EQ(userDefaults.values, (std::map<std::string, std::string, std::less<>>{{"uploadRetries", "0"}}))
        << "nothing remembered beside the fixture's setting";
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

TEST_F(ACAuthViewControllerTest, OnlyA2xxGoesOnOnlyA403ReturnsToTheFormAndEveryOtherAnswerEndsInTheAlert) {
    using test::Chrome;
    const Chrome form = Chrome::atStep(1);
    const Chrome locateStep = Chrome::atStep(2);
    // The client reports a 401 it cannot answer with credentials as a failed call, like no answer
    // at all: the alert comes straight over the running call, which ends with the application.
    const Chrome authenticating = form.withWorking("Authenticating").withContinue(true, false);
    const std::string auth = server.url("/api/author/shelf/upload/auth/");
    const auto failed = [&](int status) {
        return "A HTTP call failed with status code " + std::to_string(status) + ". Can not continue. \n" + auth;
    };
    struct Case {
        const char* name;
        std::optional<ScriptedResponse> answer;  // none: the connection closes without a word
        Chrome chrome;
        bool wrongCredentialsShown;
        const char* messageText;  // of the alert; nullptr: none
        std::string informativeText;
    };
    const Case cases[] = {
        {"200", ScriptedResponse::text(200, "{}"), locateStep, false, nullptr, ""},
        {"204", ScriptedResponse::text(204, ""), locateStep, false, nullptr, ""},
        {"403", ScriptedResponse::text(403, "wrong"), form, true, nullptr, ""},
        {"400", ScriptedResponse::text(400, "bad"), form, false, "HTTP failure", failed(400)},
        {"401", ScriptedResponse::text(401, "who?"), authenticating, false, "HTTP failure", failed(401)},
        {"404", ScriptedResponse::text(404, "where?"), form, false, "HTTP failure", failed(404)},
        {"429", ScriptedResponse::text(429, "slow down"), form, false, "HTTP failure", failed(429)},
        {"500", ScriptedResponse::text(500, "oops"), form, false, "Server error",
         "There was a problem with a server at 127.0.0.1. Please try again later"},
        {"503", ScriptedResponse::text(503, "away"), form, false, "Server error",
         "The server at 127.0.0.1 was not reachable. Please try again later"},
        {"504", ScriptedResponse::text(504, "late"), form, false, "HTTP failure", failed(504)},
        {"no answer at all", std::nullopt, authenticating, false, "HTTP failure", failed(0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        launch(server.baseURL());
        // Every try of the call meets the silence, however often the client tries.
        server.setHandler([answer = c.answer](const test::RecordedRequest&) {
            return answer.value_or(ScriptedResponse::rawBytes(""));
        });
        const std::size_t alertsBefore = desktop.alerts.shown.size();
        const int terminatedBefore = desktop.application.terminateCount;
        submit("ann@example.com", "secret");
        EXPECT_EQ(test::chromeOf(*window), c.chrome);
        EXPECT_EQ(currentStep<ACLocateBookViewController>() != nullptr, c.chrome == locateStep);
        if (c.chrome == form) {
            EXPECT_EQ(!authView().credentialsError.isHidden(), c.wrongCredentialsShown);
            EXPECT_TRUE(authView().progress.isHidden());
            EXPECT_FALSE(authView().progress.isAnimating());
        }
        if (c.messageText == nullptr) {
            EXPECT_EQ(desktop.alerts.shown.size(), alertsBefore);
            EXPECT_EQ(desktop.application.terminateCount, terminatedBefore);
            continue;
        }
        ASSERT_EQ(desktop.alerts.shown.size(), alertsBefore + 1);
        EXPECT_EQ(desktop.alerts.shown.back().messageText, c.messageText);
        EXPECT_EQ(desktop.alerts.shown.back().informativeText, c.informativeText);
        EXPECT_EQ(desktop.application.terminateCount, terminatedBefore + 1);
    }
}

TEST_F(ACAuthViewControllerTest, TheFormShowsStepOneAndWhileTheCallRunsItSaysAuthenticating) {
    EXPECT_EQ(test::chromeOf(*window), test::Chrome::atStep(1));
    ScriptedResponse held = ScriptedResponse::text(200, "{}");
    held.holdUntilReleased = true;
    server.enqueue(held);
    authView().email.setText("ann@example.com");
    authView().password.setText("secret");
    pressContinue();
    EXPECT_EQ(test::chromeOf(*window), test::Chrome::atStep(1).withWorking("Authenticating").withContinue(true, false));
    EXPECT_FALSE(authView().progress.isHidden());
    EXPECT_TRUE(authView().progress.isAnimating());
    pressContinue();
    ASSERT_TRUE(server.waitForRequests(1));
    server.releaseHeldAnswers();
    EXPECT_TRUE(waitForStep<ACLocateBookViewController>());
    drainMainLoop();
    EXPECT_EQ(server.requestCount(), 1U) << "a second press while the call runs sends nothing";
}

// The form, then the sign-in request, hold the password: the app is not dumpable until the step
// and its request are gone.
TEST_F(ACAuthViewControllerTest, TheAppIsNotDumpableWhileTheSignInHoldsThePassword) {
    EXPECT_EQ(::prctl(PR_GET_DUMPABLE), 0) << "the step is shown";
    ScriptedResponse held = ScriptedResponse::text(200, "{}");
    held.holdUntilReleased = true;
    server.enqueue(held);
    authView().email.setText("ann@example.com");
    authView().password.setText("secret");
    pressContinue();
    ASSERT_TRUE(server.waitForRequests(1));
    EXPECT_EQ(::prctl(PR_GET_DUMPABLE), 0) << "the sign-in is on its way";
    server.releaseHeldAnswers();
    ASSERT_TRUE(waitForStep<ACLocateBookViewController>());
    drainMainLoop();
    EXPECT_EQ(::prctl(PR_GET_DUMPABLE), 1) << "signed in";
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
