#include "app/ACStepViewController.h"

#include "platform/MainLoop.h"

namespace tomely {

ACStepViewController::ACStepViewController(std::unique_ptr<View> view, ACMainViewController& mainViewController)
    : view_(std::move(view)), mainViewController_(&mainViewController) {}

void ACStepViewController::addToMainViewController() {
    mainViewController_->setContentViewController(shared_from_this());
    mainViewController_->setContent(view_.get());
}

void ACStepViewController::destroyOnMainThread(ACStepViewController* step) {
    const std::shared_ptr<MainLoop> loop = MainLoop::installed();
    // Without a loop there is no main thread to hand the step to: it is being taken down.
    if (!loop || loop->isMainThread()) {
        delete step;
        return;
    }
    // A loop that has ended drops the task and the step with it, undeleted: the process is ending,
    // and deleting its controls here, off the main thread, is what must not happen.
    loop->post([step] { delete step; });
}

}  // namespace tomely
