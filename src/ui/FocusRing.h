#pragma once

#include <QWidget>

namespace tomely::ui {

// Draws a ring around `widget` while it has the keyboard, for controls whose style shows no focus
// of its own (a table, in some styles). The ring is a sibling of the widget that lets the mouse
// through; it follows the widget's place and lives as long as the widget.
void addFocusRing(QWidget* widget);

// The ring's colour: the palette's highlight, with 3:1 contrast against the window (what a focus
// indicator needs against what lies around it).
[[nodiscard]] QColor focusRingColor(const QPalette& palette);

}  // namespace tomely::ui
