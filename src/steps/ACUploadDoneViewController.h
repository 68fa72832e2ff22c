#pragma once

#include <string>

#include "app/ACStepViewController.h"

namespace tomely {

// The last step, shown only after a successful upload: it tells the author that the book is on
// the shelf and what was sent, offers the shelf in the browser, and turns Continue into Close,
// which quits.
class ACUploadDoneViewController : public ACStepViewController {
public:
    // `view` implements UploadDoneView. `receipt` is the line saying what the upload did.
    ACUploadDoneViewController(std::unique_ptr<View> view, ACMainViewController& mainViewController,
                               std::string receipt);

    void addToMainViewController() override;
    // Opens "/shelf/" of the service in the browser; the wizard stays as it is.
    void viewonlinePressed();

private:
    const std::string receipt_;
};

}  // namespace tomely
