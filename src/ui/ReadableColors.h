#pragma once

#include <QColor>
#include <QPalette>
#include <QWidget>

#include <functional>

namespace tomely::ui {

// Text colours worked out from the palette's roles, so that the window reads on a light, a dark or
// a high-contrast desktop alike: every colour here keeps a contrast of at least 4.5:1 (the usual
// minimum for text) against the background it is drawn on.

inline constexpr double kMinimumTextContrast = 4.5;

// The contrast ratio of two colours, 1 to 21, from their relative luminance (sRGB).
[[nodiscard]] double contrastRatio(const QColor& first, const QColor& second);

// `color`, moved towards black or white (whichever stands further from `against`) just far enough
// to keep `minimum` contrast with `against`; unchanged when it already does. A colour with alpha is
// first laid over `against`.
[[nodiscard]] QColor withContrast(const QColor& color, const QColor& against, double minimum = kMinimumTextContrast);

// The palette's text colour `text` on `background`, halfway faded into the background but still
// readable: for what is there but does not count now.
[[nodiscard]] QColor dimmedText(const QPalette& palette, QPalette::ColorRole text, QPalette::ColorRole background);

// A red that reads as an error on the palette's window colour.
[[nodiscard]] QColor errorTextColor(const QPalette& palette);

// Sets `role` of `widget`'s palette, in the active and inactive colour groups, to what `color`
// makes of the application's palette; again whenever the application's palette changes (the desktop switches
// between light and dark), for as long as the widget lives.
void followPalette(QWidget* widget, QPalette::ColorRole role, std::function<QColor(const QPalette&)> color);

// Runs `apply` now and again whenever the application's palette changes, for as long as `widget`
// lives. For widgets that set several colours at once.
void onPaletteChange(QWidget* widget, std::function<void()> apply);

}  // namespace tomely::ui
