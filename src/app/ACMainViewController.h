#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/Desktop.h"
#include "app/UploaderWindowView.h"
#include "app/ViewBundle.h"

namespace tomely {

class ACStepViewController;

// The step container: the window's chrome around the step area (four step indicators,
// Continue and Cancel, the working indicator) and the owner of the step currently shown.
// Lives as long as the window; everything runs on the main thread.
class ACMainViewController {
public:
    // The Continue action; receives the button that was pressed.
    using ContinueBlock = std::function<void(Button* sender)>;

    ACMainViewController(ContainerControls controls, Desktop& desktop, ViewBundle& mainBundle);
    ACMainViewController(const ACMainViewController&) = delete;
    ACMainViewController& operator=(const ACMainViewController&) = delete;
    ~ACMainViewController();

    // Hides Continue for an empty block, shows it otherwise, and always enables it.
    void setContinueBlock(ContinueBlock block);
    [[nodiscard]] const ContinueBlock& continueBlock() const { return continueBlock_; }
    void continueButtonPressed(Button* sender);

    void setContinueButtonEnabled(bool enabled);
    [[nodiscard]] bool continueButtonEnabled() const;
    void setCancelButtonHidden(bool hidden);
    [[nodiscard]] bool cancelButtonHidden() const;
    void setContinueButtonText(const std::string& text);
    [[nodiscard]] std::string continueButtonText() const;

    // A text turns the working indicator fully on, none turns it fully off.
    void setWorkingInfo(const std::optional<std::string>& info);
    [[nodiscard]] std::optional<std::string> workingInfo() const;

    // Mark their step current, the steps before it done and those after it still to come.
    void stepOne();
    void stepTwo();
    void stepThree();
    void stepFour();
    // The wizard is through: every step is done, none is current.
    void stepFive();

    // Shows `view` in the step area, which lays it out; the container does not own views, steps do.
    void setContent(View* view);
    [[nodiscard]] View* content() const { return content_; }
    // Takes ownership of `step`, releasing the step installed before.
    void setContentViewController(std::shared_ptr<ACStepViewController> step);
    [[nodiscard]] const std::shared_ptr<ACStepViewController>& contentViewController() const {
        return contentViewController_;
    }

    // The cancel confirmation; "Yes" terminates the application at once.
    void quit(Button* sender);

    [[nodiscard]] Desktop& desktop() const { return desktop_; }
    [[nodiscard]] ViewBundle& mainBundle() const { return mainBundle_; }

private:
    // Steps before `current` are done, later ones still to come; 4 (past the last) marks all done.
    void selectStep(int current);

    ContainerControls controls_;
    Desktop& desktop_;
    ViewBundle& mainBundle_;
    ContinueBlock continueBlock_;
    View* content_ = nullptr;
    std::shared_ptr<ACStepViewController> contentViewController_;
};

}  // namespace tomely
