#pragma once

#include <string>

#include "app/Controls.h"

namespace tomely {

// An image view that shows the desktop's icon for a file.
class FileIconControl : public Control {
public:
    virtual void showIconForFile(const std::string& path) = 0;
};

// The controls of the locate-book step's view ("ACLocateBookViewController").
class LocateBookView {
public:
    virtual ~LocateBookView() = default;
    [[nodiscard]] virtual FileIconControl& iconImage() = 0;
    // The chosen book's file name.
    [[nodiscard]] virtual TextControl& filePathText() = 0;
    [[nodiscard]] virtual TextControl& bookFieldError() = 0;
    [[nodiscard]] virtual ProgressIndicator& progressBar() = 0;
    // Opens the panel in which the author picks a book file.
    [[nodiscard]] virtual Button& findBookButton() = 0;
};

}  // namespace tomely
