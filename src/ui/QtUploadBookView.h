#pragma once

#include "steps/UploadBookView.h"
#include "ui/QtControls.h"

namespace tomely::ui {

// The upload step's page: a heading, a line on what happens, the progress bar, the progress line
// under it, the pace under that, and last the line on a call about to be made again.
class QtUploadBookView final : public QtView, public UploadBookView {
public:
    QtUploadBookView();

    [[nodiscard]] ProgressIndicator& progressBar() override { return progressBar_; }
    [[nodiscard]] TextControl& progressTextField() override { return progressText_; }
    [[nodiscard]] TextControl& paceTextField() override { return paceText_; }
    [[nodiscard]] TextControl& retryTextField() override { return retryText_; }

private:
    QProgressBar* bar_;
    QLabel* line_;
    QLabel* pace_;
    QLabel* retryLine_;
    QtProgressIndicator progressBar_;
    QtLabel progressText_;
    QtLabel paceText_;
    QtLabel retryText_;
};

}  // namespace tomely::ui
