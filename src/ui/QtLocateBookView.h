#pragma once

#include <memory>

#include "app/View.h"

namespace tomely::ui {

// The locate-book step's view, "ACLocateBookViewController".
[[nodiscard]] std::unique_ptr<View> makeLocateBookView();

}  // namespace tomely::ui
