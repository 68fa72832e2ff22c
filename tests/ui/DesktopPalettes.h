#pragma once

#include <QPalette>
#include <QString>

#include <vector>

namespace tomely::ui {

// Palettes such as desktops hand to applications, for the tests and pictures that check that the
// window reads on each: the style's own light palette, a dark one and a high-contrast one.
struct DesktopPalette {
    QString name;
    QPalette palette;
};

[[nodiscard]] QPalette darkDesktopPalette();
[[nodiscard]] QPalette highContrastDesktopPalette();
// Light, dark and high contrast, in that order.
[[nodiscard]] std::vector<DesktopPalette> desktopPalettes();

}  // namespace tomely::ui
