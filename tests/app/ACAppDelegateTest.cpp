#include "app/ACAppDelegate.h"

#include <gtest/gtest.h>

#include "support/FakeDesktop.h"
#include "support/FakeWindow.h"
#include "support/MainLoopFixture.h"

namespace tomely {
namespace {

using ACAppDelegateTest = testing::MainLoopFixture;

TEST_F(ACAppDelegateTest, LaunchShowsTheWindowWithTheFirstStepAndStepOneHighlighted) {
    testing::FakeDesktop desktop;
    testing::FakeViewBundle bundle;
    bundle.addView("ACWelcomeViewController", [] { return std::make_unique<testing::FakeView>(); });
    testing::FakeUploaderWindow* window = bundle.window.get();

    ACAppDelegate delegate(bundle, desktop.desktop);
    EXPECT_EQ(delegate.window(), nullptr);
    EXPECT_TRUE(delegate.applicationShouldTerminateAfterLastWindowClosed());
    delegate.applicationDidFinishLaunching();

    ASSERT_NE(delegate.uploaderWindow(), nullptr);
    EXPECT_EQ(delegate.window(), window);
    EXPECT_EQ(window->showCount, 1);
    const ACMainViewController& container = delegate.uploaderWindow()->mainViewController();
    ASSERT_NE(container.contentViewController(), nullptr);
    EXPECT_EQ(container.content(), bundle.lastLoaded("ACWelcomeViewController"));
    EXPECT_EQ(window->stepOne.textColor(), TextColor::Black);
    EXPECT_EQ(window->stepTwo.textColor(), TextColor::Gray);
    EXPECT_EQ(container.workingInfo(), std::nullopt);
    EXPECT_TRUE(window->workingSpinner.isHidden());

    // Showing the window again does not install a second first step.
    auto first = container.contentViewController();
    delegate.uploaderWindow()->showWindow();
    EXPECT_EQ(container.contentViewController(), first);
}

}  // namespace
}  // namespace tomely
