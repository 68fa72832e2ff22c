#pragma once

#include <memory>
#include <optional>
#include <string>

#include "app/ACAppDelegate.h"
#include "common/FakeDesktop.h"
#include "common/FakeStepViews.h"
#include "common/FakeWindow.h"
#include "common/MainLoopFixture.h"
#include "common/MemoryStores.h"
#include "common/ScopedEnvironment.h"
#include "common/TemporaryDirectory.h"

namespace tomely::test {

// The wizard as the app builds it, with recording controls and views, in-memory credential
// stores, and its application-support directory in a temporary directory.
class WizardFixture : public MainLoopFixture {
protected:
    WizardFixture();

    // Opens the window with the sign-in step against `serviceURL`, and waits until the step has
    // brought it forward (and read the remembered address, if any). Launching again starts a new
    // run of the app with the same stores.
    void launch(const std::string& serviceURL, std::optional<std::string> bookPath = std::nullopt);

    // The step shown now, if it is a `Step`.
    template <class Step>
    [[nodiscard]] Step* currentStep() const {
        return dynamic_cast<Step*>(delegate_->uploaderWindow()->mainViewController().contentViewController().get());
    }
    template <class Step>
    bool waitForStep() {
        return runUntil([this] { return currentStep<Step>() != nullptr; });
    }
    // The most recent view loaded for `name`.
    template <class ViewType>
    [[nodiscard]] ViewType& view(const std::string& name) const {
        return dynamic_cast<ViewType&>(*bundle.lastLoaded(name));
    }
    [[nodiscard]] FakeAuthView& authView() const { return view<FakeAuthView>("ACAuthViewController"); }
    [[nodiscard]] FakeLocateBookView& locateView() const {
        return view<FakeLocateBookView>("ACLocateBookViewController");
    }
    [[nodiscard]] FakePrepareBookView& prepareView() const {
        return view<FakePrepareBookView>("ACPrepareBookViewController");
    }

    // Signs in with the form as given and waits for the locate-book step.
    void signIn(const std::string& email, const std::string& password);
    // An "iba" book in the test's directory whose index.xml holds `indexXML`.
    [[nodiscard]] std::string writeBook(const std::string& name, const std::string& indexXML);
    // Waits until the wizard ends through an alert; answers its message text.
    std::string waitForFailureAlert();

    void pressContinue() { window->continueButton.click(); }

    TemporaryDirectory directory;
    ScopedEnvironment environment;
    FakeDesktop desktop;
    FakeViewBundle bundle;
    FakeUploaderWindow* window = bundle.window.get();
    MemoryUserDefaults userDefaults;
    MemoryKeychain keychain;

private:
    std::unique_ptr<ACAppDelegate> delegate_;
};

}  // namespace tomely::test
