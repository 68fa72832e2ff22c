#pragma once

#include "steps/UploadBookView.h"
#include "ui/QtControls.h"

namespace tomely::ui {

// The upload step's page: a heading, a line on what happens, the progress bar and the progress
// line under it, and under that the line on a call about to be made again.
class QtUploadBookView final : public QtView, public UploadBookView {
public:
    QtUploadBookView();

    [[nodiscard]] ProgressIndicator& progressBar() override { return progressBar_; }
    [[nodiscard]] TextControl& progressTextField() override { return progressText_; }
    [[nodiscard]] TextControl& retryTextField() override { return retryText_; }

private:
    QProgressBar* bar_;
    QLabel* line_;
    QLabel* retryLine_;
    QtProgressIndicator progressBar_;
    QtLabel progressText_;
    QtLabel retryText_;
};

}  // namespace tomely::ui
