#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "app/UploaderWindowView.h"
#include "app/ViewBundle.h"
#include "common/FakeControls.h"
#include "common/FakeView.h"

namespace tomely::test {

// The uploader window with recording controls.
class FakeUploaderWindow : public UploaderWindowView {
public:
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
