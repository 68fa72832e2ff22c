#pragma once

#include "steps/UploadBookView.h"
#include "ui/QtControls.h"

namespace tomely::ui {

// The upload step's page: a heading, a line on what happens, the progress bar and the progress
// line under it.
class QtUploadBookView final : public QtView, public UploadBookView {
public:
    QtUploadBookView();

    [[nodiscard]] ProgressIndicator& progressBar() override { return progressBar_; }
    [[nodiscard]] TextControl& progressTextField() override { return progressText_; }

private:
    QProgressBar* bar_;
    QLabel* line_;
    QtProgressIndicator progressBar_;
    QtLabel progressText_;
};

}  // namespace tomely::ui
