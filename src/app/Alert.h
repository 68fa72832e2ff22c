#pragma once

#include <string>
#include <vector>

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

}  // namespace tomely
