#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "app/UploaderWindowView.h"
#include "app/ViewBundle.h"
#include "common/FakeControls.h"
#include "common/FakeView.h"

namespace tomely::test {

// The uploader window with recording controls.
class FakeUploaderWindow : public UploaderWindowView {
public:
    // The buttons carry the titles the window's description gives them.
    FakeUploaderWindow() {
        continueButton.setTitle("Continue");
        cancelButton.setTitle("Cancel");
    }

    [[nodiscard]] ContainerControls containerControls() override {
        return {stepOne, stepTwo, stepThree, stepFour, continueButton, cancelButton, workingSpinner, workingText, view};
    }
    void show() override {}
    void makeKeyAndOrderFront() override {}

    FakeStepIndicator stepOne, stepTwo, stepThree, stepFour;
    FakeButton continueButton, cancelButton;
    FakeSpinner workingSpinner;
    FakeTextControl workingText;
    FakeView view;
};

// The window's chrome as the author sees it around the step.
struct Chrome {
    // The step indicator shown in black (1 to 4), or 0 when all four are gray; -1 when more than
    // one is black.
    int highlightedStep = 0;
    // The working indicator's text while it is fully on (spinner shown and turning, text shown);
    // none while it is fully off (both hidden, the text empty); "(half on)" for anything else.
    std::optional<std::string> working;
    bool continueShown = true;
    bool continueEnabled = true;
    std::string continueTitle = "Continue";
    bool cancelShown = true;

    bool operator==(const Chrome&) const = default;

    // The chrome of a step that highlights `step` and changes nothing else.
    [[nodiscard]] static Chrome atStep(int step) {
        Chrome chrome;
        chrome.highlightedStep = step;
        return chrome;
    }
    [[nodiscard]] Chrome withWorking(std::optional<std::string> text) const {
        Chrome chrome = *this;
        chrome.working = std::move(text);
        return chrome;
    }
    [[nodiscard]] Chrome withContinue(bool shown, bool enabled, std::string title = "Continue") const {
        Chrome chrome = *this;
        chrome.continueShown = shown;
        chrome.continueEnabled = enabled;
        chrome.continueTitle = std::move(title);
        return chrome;
    }
    [[nodiscard]] Chrome withCancelShown(bool shown) const {
        Chrome chrome = *this;
        chrome.cancelShown = shown;
        return chrome;
    }
};
void PrintTo(const Chrome& chrome, std::ostream* out);
[[nodiscard]] Chrome chromeOf(const FakeUploaderWindow& window);

// A bundle whose descriptions are factories registered by the test. Views it hands out are
// remembered (not owned) so a test can reach the controls of the step it just caused.
class FakeViewBundle : public ViewBundle {
public:
    using ViewFactory = std::function<std::unique_ptr<View>()>;

    void addView(const std::string& name, ViewFactory factory) { views_[name] = std::move(factory); }
    // The window handed out by loadWindow("ACUploaderWindow"); the bundle gives it away once.
    std::unique_ptr<FakeUploaderWindow> window = std::make_unique<FakeUploaderWindow>();

    [[nodiscard]] std::unique_ptr<View> loadView(std::string_view name) override;
    [[nodiscard]] std::unique_ptr<UploaderWindowView> loadWindow(std::string_view name) override;

    // The most recent view loaded for `name`, or nullptr.
    [[nodiscard]] View* lastLoaded(const std::string& name) const;

private:
    std::map<std::string, ViewFactory, std::less<>> views_;
    std::map<std::string, View*, std::less<>> lastLoaded_;
};

}  // namespace tomely::test
