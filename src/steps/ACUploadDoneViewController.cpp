#include "steps/ACUploadDoneViewController.h"

#include "http/ServiceAPI.h"
#include "steps/UploadDoneView.h"

namespace tomely {

ACUploadDoneViewController::ACUploadDoneViewController(std::unique_ptr<View> view,
                                                       ACMainViewController& mainViewController, std::string receipt)
    : ACStepViewController(std::move(view), mainViewController), receipt_(std::move(receipt)) {
    // The button belongs to this step's view, which goes with the step.
    viewAs<UploadDoneView>().actionButton().setAction([this] { viewonlinePressed(); });
}

void ACUploadDoneViewController::addToMainViewController() {
    ACStepViewController::addToMainViewController();
    ACMainViewController& container = mainViewController();
    container.stepFive();
    viewAs<UploadDoneView>().receiptField().setText(receipt_);
    container.setWorkingInfo(std::nullopt);
    container.setCancelButtonHidden(true);
    container.setContinueButtonText("Close");
    Application& application = container.desktop().application;
    container.setContinueBlock([&application](Button*) { application.terminate(); });
}

void ACUploadDoneViewController::viewonlinePressed() {
    mainViewController().desktop().workspace.openURL(ServiceAPI::shelfPageURL().absoluteString());
}

}  // namespace tomely
