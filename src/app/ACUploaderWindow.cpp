#include "app/ACUploaderWindow.h"

#include "steps/ACWelcomeViewController.h"

namespace tomely {

std::unique_ptr<ACUploaderWindow> ACUploaderWindow::initWithWindowNibName(ViewBundle& bundle, Desktop& desktop) {
    std::unique_ptr<UploaderWindowView> window = bundle.loadWindow("ACUploaderWindow");
    if (!window) {
        return nullptr;
    }
    return std::make_unique<ACUploaderWindow>(std::move(window), desktop, bundle);
}

ACUploaderWindow::ACUploaderWindow(std::unique_ptr<UploaderWindowView> window, Desktop& desktop, ViewBundle& bundle)
    : window_(std::move(window)),
      mainViewController_(std::make_unique<ACMainViewController>(window_->containerControls(), desktop, bundle)) {}

void ACUploaderWindow::showWindow() {
    window_->show();
    if (!loaded_) {
        loaded_ = true;
        windowDidLoad();
    }
}

void ACUploaderWindow::windowDidLoad() {
    auto first = ACStepViewController::initWithNibName<ACWelcomeViewController>(
        "ACWelcomeViewController", mainViewController_->mainBundle(), *mainViewController_);
    if (first) {
        first->addToMainViewController();
    }
}

}  // namespace tomely
