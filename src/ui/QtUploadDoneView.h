#pragma once

#include "steps/UploadDoneView.h"
#include "ui/QtControls.h"

namespace tomely::ui {

// The done step's page: a success picture, a line saying the book is on the shelf, a line on
// what to do next, the receipt and the button that opens the shelf.
class QtUploadDoneView final : public QtView, public UploadDoneView {
public:
    QtUploadDoneView();

    [[nodiscard]] Button& actionButton() override { return actionButton_; }
    [[nodiscard]] TextControl& receiptField() override { return receipt_; }

private:
    QPushButton* button_;
    QtButton actionButton_;
    QLabel* receiptLabel_;
    QtLabel receipt_;
};

}  // namespace tomely::ui
