#pragma once

#include "steps/UploadBookView.h"
#include "ui/QtControls.h"

namespace tomely::ui {

// The upload step's page: a heading, a line on what happens, the progress bar, the progress line
// under it and the pace under that.
class QtUploadBookView final : public QtView, public UploadBookView {
public:
    QtUploadBookView();

    [[nodiscard]] ProgressIndicator& progressBar() override { return progressBar_; }
    [[nodiscard]] TextControl& progressTextField() override { return progressText_; }
    [[nodiscard]] TextControl& paceTextField() override { return paceText_; }

private:
    QProgressBar* bar_;
    QLabel* line_;
    QLabel* pace_;
    QtProgressIndicator progressBar_;
    QtLabel progressText_;
    QtLabel paceText_;
};

}  // namespace tomely::ui
