#pragma once

#include "app/Controls.h"

namespace tomely {

// The controls of the done step's view ("ACUploadDoneViewController") that its logic drives; the
// pictures and texts telling the author that the book is on the shelf are the view's own.
class UploadDoneView {
public:
    virtual ~UploadDoneView() = default;
    // Opens the author's shelf in the browser.
    [[nodiscard]] virtual Button& actionButton() = 0;
    // Under the view's own texts: which book was made or replaced, and how much was sent.
    [[nodiscard]] virtual TextControl& receiptField() = 0;
};

}  // namespace tomely
