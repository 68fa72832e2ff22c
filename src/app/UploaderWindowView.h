#pragma once

#include "app/Controls.h"
#include "app/View.h"

namespace tomely {

// The controls of the uploader window that the step container drives.
struct ContainerControls {
    StepIndicator& stepOneField;
    StepIndicator& stepTwoField;
    StepIndicator& stepThreeField;
    StepIndicator& stepFourField;
    Button& continueButton;
    Button& cancelButton;
    Spinner& workingSpinner;
    TextControl& workingText;
    // The step area, in which the step's view is shown.
    View& view;
};

// The one uploader window, loaded from its description.
class UploaderWindowView {
public:
    virtual ~UploaderWindowView() = default;
    [[nodiscard]] virtual ContainerControls containerControls() = 0;
    // Shows the window and orders it front.
    virtual void show() = 0;
    // Makes the window key and puts it in front of the application's other windows.
    virtual void makeKeyAndOrderFront() = 0;
};

}  // namespace tomely
