#include "app/ACMainViewController.h"

#include <gtest/gtest.h>

#include <array>

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

TEST_F(ACMainViewControllerTest, ContinueBlockShowsHidesAndAlwaysEnablesTheButton) {
    int presses = 0;
    container.setContinueBlock(nullptr);
    EXPECT_TRUE(window.continueButton.isHidden());
    EXPECT_TRUE(window.continueButton.isEnabled()) << "hidden but enabled";

    container.setContinueButtonEnabled(false);
    container.setContinueBlock([&](Button* sender) {
        EXPECT_EQ(sender, &window.continueButton);
        ++presses;
    });
    EXPECT_FALSE(window.continueButton.isHidden());
    EXPECT_TRUE(container.continueButtonEnabled()) << "a new block enables a disabled button";

    window.continueButton.click();
    EXPECT_EQ(presses, 1);

    container.setContinueBlock(nullptr);
    container.continueButtonPressed(&window.continueButton);
    EXPECT_EQ(presses, 1) << "pressing with no block bound does nothing";
}

TEST_F(ACMainViewControllerTest, WorkingInfoTurnsTheIndicatorFullyOnOrOff) {
    for (const std::optional<std::string>& info :
         {std::optional<std::string>("Authenticating"), std::optional<std::string>(), std::optional<std::string>("")}) {
        SCOPED_TRACE(info.value_or("<none>"));
        container.setWorkingInfo(info);
        EXPECT_EQ(window.workingSpinner.isAnimating(), info.has_value());
        EXPECT_EQ(window.workingSpinner.isHidden(), !info.has_value());
        EXPECT_EQ(window.workingText.isHidden(), !info.has_value());
        EXPECT_EQ(window.workingText.text(), info.value_or(""));
        // The empty string still shows the spinner, but reads back as none.
        EXPECT_EQ(container.workingInfo(), info == "" ? std::nullopt : info);
    }
}

TEST_F(ACMainViewControllerTest, IndicatorsHighlightOneStepOrNone) {
    using C = TextColor;
    struct Case {
        const char* name;
        void (ACMainViewController::*select)();
        std::array<C, 4> colors;
    };
    const Case cases[] = {
        {"stepOne", &ACMainViewController::stepOne, {C::Black, C::Gray, C::Gray, C::Gray}},
        {"stepThree", &ACMainViewController::stepThree, {C::Gray, C::Gray, C::Black, C::Gray}},
        {"stepFour", &ACMainViewController::stepFour, {C::Gray, C::Gray, C::Gray, C::Black}},
        {"stepFive", &ACMainViewController::stepFive, {C::Gray, C::Gray, C::Gray, C::Gray}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        container.stepFour();  // start from another highlighted indicator
        (container.*c.select)();
        EXPECT_EQ((std::array<C, 4>{window.stepOne.textColor(), window.stepTwo.textColor(),
                                    window.stepThree.textColor(), window.stepFour.textColor()}),
                  c.colors);
    }
}

TEST_F(ACMainViewControllerTest, StepAreaSits20PointsInFromTheRightAndTopOnEveryInstallation) {
    FakeView first;
    FakeView second;
    window.view.setFrameSize({800, 540});
    container.setContent(&first);
    EXPECT_EQ(first.superview(), &window.view);
    EXPECT_EQ(first.frame(), (Rect{185, 50, 595, 470}));

    // Same view again: not moved or resized, even though the container grew meanwhile.
    window.view.setFrameSize({900, 600});
    container.setContent(&first);
    EXPECT_EQ(window.view.addSubviewCount, 1);
    EXPECT_EQ(first.frame(), (Rect{185, 50, 595, 470}));

    container.setContent(&second);
    EXPECT_EQ(first.superview(), nullptr);
    EXPECT_EQ(second.frame(), (Rect{285, 110, 595, 470}));
    EXPECT_EQ(container.content(), &second);

    container.setContent(nullptr);
    EXPECT_EQ(second.superview(), nullptr);
    EXPECT_EQ(container.content(), nullptr);
}

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

class RecordingStep : public ACStepViewController {
public:
    RecordingStep(std::unique_ptr<View> view, ACMainViewController& main, int* destroyed)
        : ACStepViewController(std::move(view), main), destroyed_(destroyed) {}
    ~RecordingStep() override { ++*destroyed_; }
    using ACStepViewController::viewAs;

private:
    int* destroyed_;
};

TEST_F(ACMainViewControllerTest, InstallingAStepHandsOwnershipToTheContainerAndReleasesThePrevious) {
    int destroyed = 0;
    bundle.addView("Step", [] { return std::make_unique<FakeView>(); });
    EXPECT_EQ(ACStepViewController::initWithNibName<RecordingStep>("Missing", bundle, container, &destroyed), nullptr);

    auto first = ACStepViewController::initWithNibName<RecordingStep>("Step", bundle, container, &destroyed);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(&first->mainViewController(), &container);
    first->addToMainViewController();
    EXPECT_EQ(container.content(), &first->view());
    EXPECT_EQ(first->viewAs<FakeView>().superview(), &window.view);
    std::weak_ptr<RecordingStep> weakFirst = first;
    first.reset();
    EXPECT_FALSE(weakFirst.expired()) << "the container owns the installed step";

    // The first step installs its successor from inside its own code and is still alive there.
    auto second = ACStepViewController::initWithNibName<RecordingStep>("Step", bundle, container, &destroyed);
    second->addToMainViewController();
    EXPECT_EQ(destroyed, 0);
    EXPECT_EQ(container.contentViewController(), second);
    second.reset();
    drainMainLoop();
    EXPECT_EQ(destroyed, 1);
    EXPECT_TRUE(weakFirst.expired());
}

}  // namespace
}  // namespace tomely
