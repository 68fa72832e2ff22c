#pragma once

#include <memory>

#include "app/View.h"

namespace tomely::ui {

// The prepare-book step's view, "ACPrepareBookViewController".
[[nodiscard]] std::unique_ptr<View> makePrepareBookView();

}  // namespace tomely::ui
