#include "steps/ACWelcomeViewController.h"

namespace tomely {

void ACWelcomeViewController::addToMainViewController() {
    ACStepViewController::addToMainViewController();
    mainViewController().stepOne();
    mainViewController().setWorkingInfo(std::nullopt);
    mainViewController().setContinueBlock(nullptr);
}

}  // namespace tomely
