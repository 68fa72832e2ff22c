#pragma once

#include <memory>
#include <string_view>

#include "app/View.h"

namespace tomely {

class UploaderWindowView;

// The application's interface descriptions: each step's view and the window are loaded by
// name, as a step names its own class.
class ViewBundle {
public:
    virtual ~ViewBundle() = default;
    // A new view for the step description `name`, or nullptr when the bundle has none.
    [[nodiscard]] virtual std::unique_ptr<View> loadView(std::string_view name) = 0;
    // The window description `name`, or nullptr when the bundle has none.
    [[nodiscard]] virtual std::unique_ptr<UploaderWindowView> loadWindow(std::string_view name) = 0;
};

}  // namespace tomely
