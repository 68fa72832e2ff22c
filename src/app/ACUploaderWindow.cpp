#include "app/ACUploaderWindow.h"

#include "app/ACStepViewController.h"

namespace tomely {

std::unique_ptr<ACUploaderWindow> ACUploaderWindow::initWithWindowNibName(ViewBundle& bundle, Desktop& desktop,
                                                                          FirstStep firstStep) {
    std::unique_ptr<UploaderWindowView> window = bundle.loadWindow("ACUploaderWindow");
    if (!window) {
        return nullptr;
    }
    return std::make_unique<ACUploaderWindow>(std::move(window), desktop, bundle, std::move(firstStep));
}

ACUploaderWindow::ACUploaderWindow(std::unique_ptr<UploaderWindowView> window, Desktop& desktop, ViewBundle& bundle,
                                   FirstStep firstStep)
    : window_(std::move(window)),
      mainViewController_(std::make_unique<ACMainViewController>(window_->containerControls(), desktop, bundle)),
      firstStep_(std::move(firstStep)) {}

void ACUploaderWindow::showWindow() {
    window_->show();
    if (!loaded_) {
        loaded_ = true;
        windowDidLoad();
    }
}

void ACUploaderWindow::windowDidLoad() {
    if (!firstStep_) {
        return;
    }
    if (std::shared_ptr<ACStepViewController> first = firstStep_(*mainViewController_)) {
        first->addToMainViewController();
    }
}

}  // namespace tomely
