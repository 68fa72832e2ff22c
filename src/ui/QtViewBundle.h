#pragma once

#include "app/ViewBundle.h"

namespace tomely::ui {

// The application's interface descriptions, built in code.
class QtViewBundle final : public ViewBundle {
public:
    [[nodiscard]] std::unique_ptr<View> loadView(std::string_view name) override;
    [[nodiscard]] std::unique_ptr<UploaderWindowView> loadWindow(std::string_view name) override;
};

}  // namespace tomely::ui
