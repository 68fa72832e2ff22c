#pragma once

#include <memory>

#include "app/View.h"

namespace tomely::ui {

// The sign-in step's view, "ACAuthViewController".
[[nodiscard]] std::unique_ptr<View> makeAuthView();

}  // namespace tomely::ui
