#pragma once

#include <functional>
#include <memory>

#include "app/ACMainViewController.h"
#include "app/Desktop.h"
#include "app/UploaderWindowView.h"
#include "app/ViewBundle.h"

namespace tomely {

class ACStepViewController;

// The controller of the one uploader window, whose content is the step container.
class ACUploaderWindow {
public:
    // Makes the step the window shows first, in the container it is given; nullptr installs none.
    // Whoever builds the application supplies it, so the shell knows no step of its own.
    using FirstStep = std::function<std::shared_ptr<ACStepViewController>(ACMainViewController& container)>;

    // Loads the window description "ACUploaderWindow"; nullptr when the bundle has none.
    [[nodiscard]] static std::unique_ptr<ACUploaderWindow> initWithWindowNibName(ViewBundle& bundle, Desktop& desktop,
                                                                                 FirstStep firstStep);

    ACUploaderWindow(std::unique_ptr<UploaderWindowView> window, Desktop& desktop, ViewBundle& bundle,
                     FirstStep firstStep);

    // Shows the window and orders it front; the first time, windowDidLoad installs the first step.
    void showWindow();
    void windowDidLoad();

    [[nodiscard]] UploaderWindowView& window() const { return *window_; }
    [[nodiscard]] ACMainViewController& mainViewController() const { return *mainViewController_; }

private:
    std::unique_ptr<UploaderWindowView> window_;
    std::unique_ptr<ACMainViewController> mainViewController_;
    FirstStep firstStep_;
    bool loaded_ = false;
};

}  // namespace tomely
