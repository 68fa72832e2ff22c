#pragma once

#include "app/ACStepViewController.h"

namespace tomely {

// The first step until signing in is built: it greets the author and offers nothing to continue.
class ACWelcomeViewController : public ACStepViewController {
public:
    ACWelcomeViewController(std::unique_ptr<View> view, ACMainViewController& mainViewController)
        : ACStepViewController(std::move(view), mainViewController) {}

    void addToMainViewController() override;
};

}  // namespace tomely
