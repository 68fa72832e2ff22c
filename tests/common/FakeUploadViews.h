#pragma once

#include "common/FakeControls.h"
#include "common/FakeView.h"
#include "steps/UploadBookView.h"
#include "steps/UploadDoneView.h"

namespace tomely::test {

// The upload step's view with recording controls.
class FakeUploadBookView : public FakeView, public UploadBookView {
public:
    [[nodiscard]] ProgressIndicator& progressBar() override { return bar; }
    [[nodiscard]] TextControl& progressTextField() override { return text; }
    [[nodiscard]] TextControl& paceTextField() override { return pace; }
    [[nodiscard]] TextControl& retryTextField() override { return retryText; }

    FakeProgressIndicator bar;
    FakeTextControl text;
    FakeTextControl pace;
    FakeTextControl retryText;
};

// The done step's view with a recording shelf button.
class FakeUploadDoneView : public FakeView, public UploadDoneView {
public:
    [[nodiscard]] Button& actionButton() override { return button; }
    [[nodiscard]] TextControl& receiptField() override { return receipt; }

    FakeButton button;
    FakeTextControl receipt;
};

}  // namespace tomely::test
