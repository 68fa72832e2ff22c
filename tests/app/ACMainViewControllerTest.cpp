#include "app/ACMainViewController.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "app/ACFailure.h"
#include "app/ACStepViewController.h"
#include "app/BlockTimer.h"
#include "common/FakeDesktop.h"
#include "common/FakeWindow.h"
#include "common/MainLoopFixture.h"

namespace tomely {
namespace {

using test::FakeView;

class ACMainViewControllerTest : public test::MainLoopFixture {
protected:
    test::FakeUploaderWindow window;
    test::FakeDesktop desktop;
    test::FakeViewBundle bundle;
    ACMainViewController container{window.containerControls(), desktop.desktop, bundle};
};

TEST(ACMainViewControllerChromeTest, EachOperationLeavesTheChromeAsTheAuthorSeesIt) {
    using test::Chrome;
    const auto block = [](Button*) {};
    struct Case {
        const char* name;
        std::function<void(ACMainViewController&)> act;
        Chrome expected;
    };
    const Case cases[] = {
        {"a block shows Continue enabled, even after it was disabled",
         [&](ACMainViewController& c) {
             c.setContinueButtonEnabled(false);
             c.setContinueBlock(block);
         },
         test::Chrome::atStep(0).withContinue(true, true)},
        {"no block hides Continue and leaves it enabled",
         [&](ACMainViewController& c) {
             c.setContinueBlock(block);
             c.setContinueButtonEnabled(false);
             c.setContinueBlock({});
         },
         test::Chrome::atStep(0).withContinue(false, true)},
        {"disabled", [&](ACMainViewController& c) { c.setContinueButtonEnabled(false); },
         test::Chrome::atStep(0).withContinue(true, false)},
        {"a working text turns the indicator fully on", [](ACMainViewController& c) { c.setWorkingInfo("Uploading"); },
         test::Chrome::atStep(0).withWorking("Uploading")},
        {"the empty text turns the spinner on with no words", [](ACMainViewController& c) { c.setWorkingInfo(""); },
         test::Chrome::atStep(0).withWorking("")},
        {"none turns it fully off",
         [](ACMainViewController& c) {
             c.setWorkingInfo("Uploading");
             c.setWorkingInfo(std::nullopt);
         },
         test::Chrome::atStep(0)},
        {"step one", [](ACMainViewController& c) { c.stepOne(); }, test::Chrome::atStep(1)},
        {"step two", [](ACMainViewController& c) { c.stepTwo(); }, test::Chrome::atStep(2)},
        {"step three", [](ACMainViewController& c) { c.stepThree(); }, test::Chrome::atStep(3)},
        {"step four", [](ACMainViewController& c) { c.stepFour(); }, test::Chrome::atStep(4)},
        {"step five leaves no step current",
         [](ACMainViewController& c) {
             c.stepTwo();
             c.stepFive();
         },
         test::Chrome::atStep(0)},
        {"Cancel hidden and Continue retitled",
         [](ACMainViewController& c) {
             c.setCancelButtonHidden(true);
             c.setContinueButtonText("Close");
         },
         test::Chrome::atStep(0).withContinue(true, true, "Close").withCancelShown(false)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::FakeUploaderWindow window;
        test::FakeDesktop desktop;
        test::FakeViewBundle bundle;
        ACMainViewController container{window.containerControls(), desktop.desktop, bundle};
        // Every step sets the working indicator first; the case starts from there.
        container.setWorkingInfo(std::nullopt);
        c.act(container);
        EXPECT_EQ(test::chromeOf(window), c.expected);
        EXPECT_EQ(container.workingInfo(), c.expected.working == "" ? std::nullopt : c.expected.working)
            << "the empty text reads as none";
    }
}

TEST_F(ACMainViewControllerTest, ContinueDoesNothingWithoutABlock) {
    int presses = 0;
    container.setContinueBlock([&](Button*) { ++presses; });
    window.continueButton.click();
    EXPECT_EQ(presses, 1);
    container.setContinueBlock({});
    container.continueButtonPressed(&window.continueButton);
    EXPECT_EQ(presses, 1);
}

TEST_F(ACMainViewControllerTest, CancelAsksAndOnlyYesTerminates) {
    int presses = 0;
    container.stepFour();
    container.setContinueBlock([&](Button*) { ++presses; });
    container.setWorkingInfo("Uploading");
    const test::Chrome before = test::chromeOf(window);
    desktop.alerts.answers = {0};  // "No"
    window.cancelButton.click();
    ASSERT_EQ(desktop.alerts.shown.size(), 1U);
    const Alert& alert = desktop.alerts.shown[0];
    EXPECT_EQ(alert.messageText, "Are you sure?");
    EXPECT_EQ(alert.informativeText, "Are you sure you want to cancel?");
    EXPECT_EQ(alert.buttons, (std::vector<std::string>{"No", "Yes"})) << "No first, as the default";
    EXPECT_EQ(alert.style, Alert::Style::Default);
    EXPECT_EQ(desktop.application.terminateCount, 0);
    EXPECT_EQ(test::chromeOf(window), before) << "No leaves everything as it was";
    window.continueButton.click();
    EXPECT_EQ(presses, 1);

    desktop.alerts.answers = {1};  // "Yes"
    window.cancelButton.click();
    EXPECT_EQ(desktop.application.terminateCount, 1);
}

TEST_F(ACMainViewControllerTest, TheCurrentStepStandsOutStepsBeforeItAreDoneAndTheLastPageMarksAllDone) {
    using enum StepState;
    struct Case {
        const char* name;
        void (ACMainViewController::*select)();
        StepState states[4];
    };
    const Case cases[] = {
        {"sign in", &ACMainViewController::stepOne, {Current, Upcoming, Upcoming, Upcoming}},
        {"locate the book", &ACMainViewController::stepTwo, {Done, Current, Upcoming, Upcoming}},
        {"choose the target", &ACMainViewController::stepThree, {Done, Done, Current, Upcoming}},
        {"upload", &ACMainViewController::stepFour, {Done, Done, Done, Current}},
        {"done", &ACMainViewController::stepFive, {Done, Done, Done, Done}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        (container.*c.select)();
        EXPECT_EQ(window.stepOne.state(), c.states[0]);
        EXPECT_EQ(window.stepTwo.state(), c.states[1]);
        EXPECT_EQ(window.stepThree.state(), c.states[2]);
        EXPECT_EQ(window.stepFour.state(), c.states[3]);
    }
}

// While the cancel confirmation is up, nothing posted to the main loop runs: a worker's report, a
// timer that falls due, a failure that would raise an alert of its own. After "No" they all run,
// in the order they came.
TEST_F(ACMainViewControllerTest, WhileTheConfirmationIsUpNothingElseRunsAndAfterNoEverythingRunsInOrder) {
    container.stepFour();
    container.setContinueBlock([](Button*) {});
    container.setContinueButtonEnabled(false);
    container.setWorkingInfo("Uploading");
    const test::Chrome before = test::chromeOf(window);
    std::vector<std::string> ran;
    bool timerFired = false;
    desktop.alerts.onAlert = [&](const Alert& alert) {
        if (alert.messageText != "Are you sure?") {
            return;
        }
        std::thread([&] {
            MainLoop::shared()->post([&] {
                ran.emplace_back("report");
                container.setWorkingInfo("Changed under the alert");
            });
        }).join();
        BlockTimer::scheduledTimerWithTimeInterval(0, false, [&](BlockTimer&) { timerFired = true; });
        MainLoop::shared()->post([&] {
            ran.emplace_back("failure");
            ACFailure::httpUploadBookFailure(desktop.desktop);
        });
        EXPECT_TRUE(runUntil([&] { return loop().heldTaskCount() == 3 || !ran.empty() || timerFired; }));
        EXPECT_TRUE(ran.empty());
        EXPECT_FALSE(timerFired);
        EXPECT_EQ(desktop.alerts.shown.size(), 1U) << "no second alert over the first";
        EXPECT_EQ(test::chromeOf(window), before);
    };
    desktop.alerts.answers = {0};  // "No"
    window.cancelButton.click();
    EXPECT_TRUE(runUntil([&] { return ran.size() == 2 && timerFired; }));
    EXPECT_EQ(ran, (std::vector<std::string>{"report", "failure"}));
    ASSERT_EQ(desktop.alerts.shown.size(), 2U);
    EXPECT_EQ(desktop.alerts.shown[1].messageText, "HTTP failure");
    EXPECT_EQ(test::chromeOf(window), before.withWorking("Changed under the alert"));
}

class RecordingStep : public ACStepViewController {
public:
    RecordingStep(std::unique_ptr<View> view, ACMainViewController& main, std::shared_ptr<int> destroyed,
                  std::shared_ptr<std::atomic<int>> destroyedOffMainThread = std::make_shared<std::atomic<int>>(0))
        : ACStepViewController(std::move(view), main),
          destroyed_(std::move(destroyed)),
          destroyedOffMainThread_(std::move(destroyedOffMainThread)) {}
    ~RecordingStep() override {
        if (MainLoop::shared()->isMainThread()) {
            ++*destroyed_;
        } else {
            ++*destroyedOffMainThread_;
        }
    }
    using ACStepViewController::viewAs;

private:
    // Shared, since the installed step outlives the test's body: the fixture's container owns it.
    std::shared_ptr<int> destroyed_;
    std::shared_ptr<std::atomic<int>> destroyedOffMainThread_;
};

// A worker that reported for a step may hold it after the container has let go of it; the step's
// controls belong to the main thread, and so does its end.
TEST_F(ACMainViewControllerTest, AStepLetGoOfLastByAnotherThreadIsDestroyedOnTheMainThread) {
    const auto destroyed = std::make_shared<int>(0);
    const auto destroyedOffMainThread = std::make_shared<std::atomic<int>>(0);
    bundle.addView("Step", [] { return std::make_unique<FakeView>(); });
    auto step = ACStepViewController::initWithNibName<RecordingStep>("Step", bundle, container, destroyed,
                                                                     destroyedOffMainThread);
    std::thread([last = std::move(step)]() mutable { last.reset(); }).join();
    EXPECT_EQ(*destroyedOffMainThread, 0);
    EXPECT_TRUE(runUntil([&] { return *destroyed == 1; }));
}

TEST_F(ACMainViewControllerTest, InstallingAStepHandsOwnershipToTheContainerAndReleasesThePrevious) {
    const auto destroyed = std::make_shared<int>(0);
    bundle.addView("Step", [] { return std::make_unique<FakeView>(); });
    EXPECT_EQ(ACStepViewController::initWithNibName<RecordingStep>("Missing", bundle, container, destroyed), nullptr);

    auto first = ACStepViewController::initWithNibName<RecordingStep>("Step", bundle, container, destroyed);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(&first->mainViewController(), &container);
    first->addToMainViewController();
    EXPECT_EQ(container.content(), &first->view());
    EXPECT_EQ(first->viewAs<FakeView>().superview(), &window.view);
    std::weak_ptr<RecordingStep> weakFirst = first;
    first.reset();
    EXPECT_FALSE(weakFirst.expired()) << "the container owns the installed step";

    // The first step installs its successor from inside its own code and is still alive there.
    auto second = ACStepViewController::initWithNibName<RecordingStep>("Step", bundle, container, destroyed);
    second->addToMainViewController();
    EXPECT_EQ(*destroyed, 0);
    EXPECT_EQ(weakFirst.lock()->viewAs<FakeView>().superview(), nullptr) << "the old step's view is taken down";
    EXPECT_EQ(container.contentViewController(), second);
    second.reset();
    drainMainLoop();
    EXPECT_EQ(*destroyed, 1);
    EXPECT_TRUE(weakFirst.expired());
}

}  // namespace
}  // namespace tomely
