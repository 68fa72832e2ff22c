#include "app/ACAppDelegate.h"

#include <gtest/gtest.h>

#include "app/ACStepViewController.h"
#include "common/FakeDesktop.h"
#include "common/FakeWindow.h"
#include "common/MainLoopFixture.h"

namespace tomely {
namespace {

using ACAppDelegateTest = test::MainLoopFixture;

class FirstStep : public ACStepViewController {
public:
    FirstStep(std::unique_ptr<View> view, ACMainViewController& container)
        : ACStepViewController(std::move(view), container) {}
};

TEST_F(ACAppDelegateTest, LaunchShowsTheWindowOnceWithTheFirstStepInstalledOnce) {
    test::FakeDesktop desktop;
    test::FakeViewBundle bundle;
    bundle.addView("FirstStep", [] { return std::make_unique<test::FakeView>(); });
    test::FakeUploaderWindow* window = bundle.window.get();

    int stepsMade = 0;
    ACAppDelegate delegate(bundle, desktop.desktop, [&](ACMainViewController& container) {
        ++stepsMade;
        return ACStepViewController::initWithNibName<FirstStep>("FirstStep", container.mainBundle(), container);
    });
    delegate.applicationDidFinishLaunching();

    ASSERT_NE(delegate.uploaderWindow(), nullptr);
    EXPECT_EQ(delegate.window(), window);
    EXPECT_EQ(window->showCount, 1);
    const ACMainViewController& container = delegate.uploaderWindow()->mainViewController();
    ASSERT_NE(container.contentViewController(), nullptr);
    EXPECT_EQ(container.content(), bundle.lastLoaded("FirstStep"));

    // Showing the window again does not install a second first step.
    auto first = container.contentViewController();
    delegate.uploaderWindow()->showWindow();
    EXPECT_EQ(container.contentViewController(), first);
    EXPECT_EQ(stepsMade, 1);
}

}  // namespace
}  // namespace tomely
