// The short delays of the sign-in and prepare-book steps, seen on a clock the test moves: each
// thing happens exactly when its timer is due, never a moment before.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "app/ACMainViewController.h"
#include "common/FakeClockLoop.h"
#include "common/FakeDesktop.h"
#include "common/FakeStepViews.h"
#include "common/FakeWindow.h"
#include "common/MemoryStores.h"
#include "steps/ACAuthViewController.h"
#include "steps/ACPrepareBookViewController.h"
#include "steps/WizardOrder.h"

namespace tomely {
namespace {

using std::chrono::milliseconds;

class StepTimersTest : public ::testing::Test {
protected:
    StepTimersTest() {
        MainLoop::install(clock_);
        bundle.addView("ACAuthViewController", [] { return std::make_unique<test::FakeAuthView>(); });
        bundle.addView("ACPrepareBookViewController", [] { return std::make_unique<test::FakePrepareBookView>(); });
    }
    ~StepTimersTest() override { MainLoop::install(nullptr); }

    void advance(milliseconds step) { clock_->advance(step); }

    std::shared_ptr<test::FakeClockLoop> clock_ = std::make_shared<test::FakeClockLoop>();
    test::FakeUploaderWindow window;
    test::FakeDesktop desktop;
    test::FakeViewBundle bundle;
    ACMainViewController container{window.containerControls(), desktop.desktop, bundle};
    test::MemoryUserDefaults userDefaults;
    test::MemoryKeychain keychain;
};

TEST_F(StepTimersTest, SignInBringsTheWindowForwardAfterATenthAndFillsTheFormATenthLater) {
    userDefaults.values["lastEmail"] = "ann@example.com";
    keychain.items[{"Tomely_uploader", "ann@example.com"}] = "stored";
    auto step = WizardOrder::makeSignInStep(container, SignInContext{{userDefaults, keychain}, window, std::nullopt});
    step->addToMainViewController();
    auto& view = dynamic_cast<test::FakeAuthView&>(step->view());
    view.email.setText("typed early");
    view.password.setText("typed early");
    struct Moment {
        milliseconds at;
        int activations;
        const char* email;
        const char* password;
    };
    const Moment moments[] = {
        {milliseconds(99), 0, "typed early", "typed early"},
        {milliseconds(100), 1, "typed early", "typed early"},
        {milliseconds(199), 1, "typed early", "typed early"},
        {milliseconds(200), 1, "ann@example.com", "stored"},
    };
    milliseconds now{0};
    for (const Moment& moment : moments) {
        SCOPED_TRACE(moment.at.count());
        advance(moment.at - now);
        now = moment.at;
        EXPECT_EQ(desktop.application.activateCount, moment.activations);
        EXPECT_EQ(view.email.text(), moment.email);
        EXPECT_EQ(view.password.text(), moment.password);
    }
}

TEST_F(StepTimersTest, PrepareBookGivesTheTableTheKeyboardAfterATenthAndAgainAtAQuarter) {
    // A list that could not be decoded: nothing to select, only a new book.
    auto step = ACStepViewController::initWithNibName<ACPrepareBookViewController>(
        "ACPrepareBookViewController", bundle, container, PublishSession::inApplicationSupport(),
        BookListing{"G", std::nullopt, std::nullopt});
    step->addToMainViewController();
    auto& table = dynamic_cast<test::FakePrepareBookView&>(step->view()).table;
    const std::pair<milliseconds, int> moments[] = {
        {milliseconds(99), 0}, {milliseconds(100), 1}, {milliseconds(249), 1}, {milliseconds(250), 2}};
    milliseconds now{0};
    for (const auto& [at, focused] : moments) {
        SCOPED_TRACE(at.count());
        advance(at - now);
        now = at;
        EXPECT_EQ(table.firstResponderCount, focused);
    }
}

}  // namespace
}  // namespace tomely
