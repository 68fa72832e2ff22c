#include "common/FakeWindow.h"

namespace tomely::test {

Chrome chromeOf(const FakeUploaderWindow& window) {
    Chrome chrome;
    const FakeStepIndicator* steps[] = {&window.stepOne, &window.stepTwo, &window.stepThree, &window.stepFour};
    for (int index = 0; index < 4; ++index) {
        if (steps[index]->state() == StepState::Current) {
            chrome.highlightedStep = chrome.highlightedStep == 0 ? index + 1 : -1;
        }
    }
    const bool spinnerOn = window.workingSpinner.isAnimating() && !window.workingSpinner.isHidden();
    const bool spinnerOff = !window.workingSpinner.isAnimating() && window.workingSpinner.isHidden();
    if (spinnerOn && !window.workingText.isHidden()) {
        chrome.working = window.workingText.text();
    } else if (!(spinnerOff && window.workingText.isHidden() && window.workingText.text().empty())) {
        chrome.working = "(half on)";
    }
    chrome.continueShown = !window.continueButton.isHidden();
    chrome.continueEnabled = window.continueButton.isEnabled();
    chrome.continueTitle = window.continueButton.title();
    chrome.cancelShown = !window.cancelButton.isHidden();
    return chrome;
}

void PrintTo(const Chrome& chrome, std::ostream* out) {
    *out << "{step " << chrome.highlightedStep << ", working "
         << (chrome.working ? "\"" + *chrome.working + "\"" : std::string("off")) << ", Continue "
         << (chrome.continueShown ? "shown" : "hidden") << (chrome.continueEnabled ? " enabled" : " disabled") << " \""
         << chrome.continueTitle << "\", Cancel " << (chrome.cancelShown ? "shown" : "hidden") << "}";
}

std::unique_ptr<View> FakeViewBundle::loadView(std::string_view name) {
    auto it = views_.find(name);
    if (it == views_.end()) {
        return nullptr;
    }
    std::unique_ptr<View> view = it->second();
    lastLoaded_[std::string(name)] = view.get();
    return view;
}

std::unique_ptr<UploaderWindowView> FakeViewBundle::loadWindow(std::string_view name) {
    if (name != "ACUploaderWindow") {
        return nullptr;
    }
    return std::move(window);
}

View* FakeViewBundle::lastLoaded(const std::string& name) const {
    auto it = lastLoaded_.find(name);
    return it == lastLoaded_.end() ? nullptr : it->second;
}

}  // namespace tomely::test
