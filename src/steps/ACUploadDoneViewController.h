#pragma once

#include "app/ACStepViewController.h"

namespace tomely {

// The last step, shown only after a successful upload: it tells the author that the book is on
// the shelf, offers the shelf in the browser, and turns Continue into Close, which quits.
class ACUploadDoneViewController : public ACStepViewController {
public:
    // `view` implements UploadDoneView.
    ACUploadDoneViewController(std::unique_ptr<View> view, ACMainViewController& mainViewController);

    void addToMainViewController() override;
    // Opens "/shelf/" of the service in the browser; the wizard stays as it is.
    void viewonlinePressed();
};

}  // namespace tomely
