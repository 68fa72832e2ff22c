#include "app/ACStepViewController.h"

namespace tomely {

ACStepViewController::ACStepViewController(std::unique_ptr<View> view, ACMainViewController& mainViewController)
    : view_(std::move(view)), mainViewController_(&mainViewController) {}

void ACStepViewController::addToMainViewController() {
    mainViewController_->setContentViewController(shared_from_this());
    mainViewController_->setContent(view_.get());
}

}  // namespace tomely
