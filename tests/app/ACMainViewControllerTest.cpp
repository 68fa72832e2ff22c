#include "app/ACMainViewController.h"

#include <gtest/gtest.h>
#include <memory>

#include "app/ACStepViewController.h"
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

TEST_F(ACMainViewControllerTest, CancelAsksAndOnlyYesTerminates) {
    int presses = 0;
    container.setContinueBlock([&](Button*) { ++presses; });
    container.setWorkingInfo("Uploading");
    desktop.alerts.answers = {0};  // "No"
    window.cancelButton.click();
    ASSERT_EQ(desktop.alerts.shown.size(), 1U);
    EXPECT_EQ(desktop.alerts.shown[0].buttons, (std::vector<std::string>{"No", "Yes"}));
    EXPECT_EQ(desktop.application.terminateCount, 0);
    EXPECT_EQ(container.workingInfo(), "Uploading") << "No leaves everything as it was";
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

class RecordingStep : public ACStepViewController {
public:
    RecordingStep(std::unique_ptr<View> view, ACMainViewController& main, std::shared_ptr<int> destroyed)
        : ACStepViewController(std::move(view), main), destroyed_(std::move(destroyed)) {}
    ~RecordingStep() override { ++*destroyed_; }
    using ACStepViewController::viewAs;

private:
    // Shared, since the installed step outlives the test's body: the fixture's container owns it.
    std::shared_ptr<int> destroyed_;
};

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
