#include "WizardFixture.h"

#include "common/FakeUploadViews.h"
#include "common/ZipBuilder.h"
#include "http/HTTPCookieStorage.h"
#include "steps/ACLocateBookViewController.h"
#include "steps/WizardOrder.h"

namespace tomely::test {

WizardFixture::WizardFixture() {
    environment.set("XDG_DATA_HOME", directory.pathOf("data")).set("XDG_CACHE_HOME", directory.pathOf("cache"));
    // Each failure as it comes, at once: retries have tests of their own.
    userDefaults.setString("uploadRetries", "0");
    // Session cookies are kept process-wide, as the app keeps them; each test signs in afresh.
    HTTPCookieStorage::sharedHTTPCookieStorage().deleteAllCookies();
    bundle.addView("ACAuthViewController", [] { return std::make_unique<FakeAuthView>(); });
    bundle.addView("ACLocateBookViewController", [] { return std::make_unique<FakeLocateBookView>(); });
    bundle.addView("ACPrepareBookViewController", [] { return std::make_unique<FakePrepareBookView>(); });
    bundle.addView("ACUploadBookViewController", [] { return std::make_unique<FakeUploadBookView>(); });
    bundle.addView("ACUploadDoneViewController", [] { return std::make_unique<FakeUploadDoneView>(); });
}

void WizardFixture::launch(const std::string& serviceURL, std::optional<std::string> bookPath) {
    environment.set("TOMELY_SERVICE_URL", serviceURL);
    // A later launch is a new run of the app, with a new window and the same stores.
    if (!bundle.window) {
        bundle.window = std::make_unique<FakeUploaderWindow>();
        window = bundle.window.get();
    }
    delegate_ = std::make_unique<ACAppDelegate>(
        bundle, desktop.desktop, [this, bookPath = std::move(bookPath)](ACMainViewController& container) {
            return WizardOrder::makeSignInStep(container,
                                               SignInContext{{userDefaults, keychain}, *delegate_->window(), bookPath});
        });
    delegate_->applicationDidFinishLaunching();
    // The remembered address is read when the window comes forward; from then on the form is the test's.
    const int activations = desktop.application.activateCount;
    runUntil([this, activations] { return desktop.application.activateCount > activations; });
}

void WizardFixture::signIn(const std::string& email, const std::string& password) {
    authView().email.setText(email);
    authView().password.setText(password);
    pressContinue();
    waitForStep<ACLocateBookViewController>();
}

std::string WizardFixture::writeBook(const std::string& name, const std::string& indexXML) {
    const std::string path = directory.pathOf(name);
    ZipBuilder(path).add("index.xml", indexXML).add("OPS/chapter.xhtml", "<html/>");
    return path;
}

std::string WizardFixture::waitForFailureAlert() {
    if (!runUntil([this] { return desktop.application.terminateCount > 0; })) {
        return {};
    }
    return desktop.alerts.shown.empty() ? std::string() : desktop.alerts.shown.back().messageText;
}

}  // namespace tomely::test
