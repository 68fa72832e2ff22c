#pragma once

#include "app/Controls.h"

namespace tomely {

// The controls of the upload step's view ("ACUploadBookViewController"); the view that the bundle
// loads under that name implements this beside View.
class UploadBookView {
public:
    virtual ~UploadBookView() = default;
    // Determinate while counting, indeterminate and animated while waiting for the service.
    [[nodiscard]] virtual ProgressIndicator& progressBar() = 0;
    // One line telling what is being done.
    [[nodiscard]] virtual TextControl& progressTextField() = 0;
    // The line under it: how fast the parts go out and how long they still need.
    [[nodiscard]] virtual TextControl& paceTextField() = 0;
    // Below it: why a call is about to be made again, while the step waits for it; else empty.
    [[nodiscard]] virtual TextControl& retryTextField() = 0;
};

}  // namespace tomely
