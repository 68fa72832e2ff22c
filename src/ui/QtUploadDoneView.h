#pragma once

#include "steps/UploadDoneView.h"
#include "ui/QtControls.h"

namespace tomely::ui {

// The done step's page: a success picture, a line saying the book is on the shelf, a line on
// what to do next and the button that opens the shelf.
class QtUploadDoneView final : public QtView, public UploadDoneView {
public:
    QtUploadDoneView();

    [[nodiscard]] Button& actionButton() override { return actionButton_; }

private:
    QPushButton* button_;
    QtButton actionButton_;
};

}  // namespace tomely::ui
