#pragma once

#include <string>
#include <vector>

#include "platform/MainLoop.h"

namespace tomely {

struct Alert {
    enum class Style { Default, Critical };

    Style style = Style::Default;
    std::string messageText;
    std::string informativeText;
    // In the order added; the first is the default button. None: the platform's single button.
    std::vector<std::string> buttons;
};

class AlertPresenter {
public:
    virtual ~AlertPresenter() = default;
    // Runs the alert modally on the main thread; answers the index of the button pressed.
    virtual std::size_t runModal(const Alert& alert) = 0;
};

// How the wizard runs an alert: modally, and one at a time. Until it is dismissed the main loop
// runs nothing posted to it (a failing part, the end of a sync, a timer), so no second alert comes
// over it and no step changes under it; that work then goes on in order. Main thread only.
inline std::size_t runModalAlert(AlertPresenter& presenter, const Alert& alert) {
    const ModalSession session;
    return presenter.runModal(alert);
}

}  // namespace tomely
