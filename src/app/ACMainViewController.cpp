#include "app/ACMainViewController.h"

#include "app/ACStepViewController.h"
#include "platform/MainLoop.h"

namespace tomely {

ACMainViewController::ACMainViewController(ContainerControls controls, Desktop& desktop, ViewBundle& mainBundle)
    : controls_(controls), desktop_(desktop), mainBundle_(mainBundle) {
    controls_.continueButton.setAction([this] { continueButtonPressed(&controls_.continueButton); });
    controls_.cancelButton.setAction([this] { quit(&controls_.cancelButton); });
}

ACMainViewController::~ACMainViewController() {
    controls_.continueButton.setAction({});
    controls_.cancelButton.setAction({});
}

void ACMainViewController::setContinueBlock(ContinueBlock block) {
    controls_.continueButton.setHidden(!block);
    controls_.continueButton.setEnabled(true);
    continueBlock_ = std::move(block);
}

void ACMainViewController::continueButtonPressed(Button* sender) {
    if (continueBlock_) {
        // A copy: the block may install the next step, which binds a block of its own.
        const ContinueBlock block = continueBlock_;
        block(sender);
    }
}

void ACMainViewController::setContinueButtonEnabled(bool enabled) {
    controls_.continueButton.setEnabled(enabled);
}

bool ACMainViewController::continueButtonEnabled() const {
    return controls_.continueButton.isEnabled();
}

void ACMainViewController::setCancelButtonHidden(bool hidden) {
    controls_.cancelButton.setHidden(hidden);
}

bool ACMainViewController::cancelButtonHidden() const {
    return controls_.cancelButton.isHidden();
}

void ACMainViewController::setContinueButtonText(const std::string& text) {
    controls_.continueButton.setTitle(text);
}

std::string ACMainViewController::continueButtonText() const {
    return controls_.continueButton.title();
}

void ACMainViewController::setWorkingInfo(const std::optional<std::string>& info) {
    if (info) {
        controls_.workingSpinner.startAnimation();
        controls_.workingSpinner.setHidden(false);
        controls_.workingText.setHidden(false);
        controls_.workingText.setText(*info);
    } else {
        controls_.workingSpinner.stopAnimation();
        controls_.workingSpinner.setHidden(true);
        controls_.workingText.setHidden(true);
        controls_.workingText.setText("");
    }
}

std::optional<std::string> ACMainViewController::workingInfo() const {
    std::string text = controls_.workingText.text();
    if (text.empty()) {
        return std::nullopt;
    }
    return text;
}

void ACMainViewController::selectStep(int current) {
    StepIndicator* const fields[] = {&controls_.stepOneField, &controls_.stepTwoField, &controls_.stepThreeField,
                                     &controls_.stepFourField};
    for (int index = 0; index < 4; ++index) {
        const StepState state = index < current    ? StepState::Done
                                : index == current ? StepState::Current
                                                   : StepState::Upcoming;
        fields[index]->setState(state);
    }
}

void ACMainViewController::stepOne() {
    selectStep(0);
}
void ACMainViewController::stepTwo() {
    selectStep(1);
}
void ACMainViewController::stepThree() {
    selectStep(2);
}
void ACMainViewController::stepFour() {
    selectStep(3);
}
void ACMainViewController::stepFive() {
    selectStep(4);
}

void ACMainViewController::setContent(View* view) {
    if (view == content_) {
        return;
    }
    if (content_ != nullptr) {
        content_->removeFromSuperview();
    }
    content_ = view;
    if (content_ != nullptr) {
        controls_.view.addSubview(*content_);
    }
}

void ACMainViewController::setContentViewController(std::shared_ptr<ACStepViewController> step) {
    contentViewController_.swap(step);
    // The previous step is usually the caller, still inside its own completion block; like an
    // autoreleased object it goes once the main loop has finished the current task.
    if (step) {
        MainLoop::shared()->post([previous = std::move(step)] {});
    }
}

void ACMainViewController::quit(Button* /*sender*/) {
    Alert alert;
    alert.messageText = "Are you sure?";
    alert.informativeText = "Are you sure you want to cancel?";
    alert.buttons = {"No", "Yes"};
    constexpr std::size_t kYes = 1;
    if (runModalAlert(desktop_.alerts, alert) == kYes) {
        desktop_.application.terminate();
    }
}

}  // namespace tomely
