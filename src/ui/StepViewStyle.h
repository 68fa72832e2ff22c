#pragma once

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QString>
#include <QWidget>

namespace tomely::ui {

// The look the step views share: a heading, explanatory text, error labels and links.

// The step's heading.
[[nodiscard]] QLabel* makeHeading(const QString& text, QWidget* parent);
// A paragraph that wraps.
[[nodiscard]] QLabel* makeExplanation(const QString& text, QWidget* parent);
// The label of a field, whose mnemonic (the letter after "&") moves the keyboard to the field.
[[nodiscard]] QLabel* makeFieldLabel(const QString& text, QWidget* field);
// A label for a problem the author can correct. Hidden until the step shows it; its place in the
// layout stays reserved, so showing it moves nothing. Its red follows the palette, dark or light.
[[nodiscard]] QLabel* makeErrorLabel(const QString& text, const QString& objectName, QWidget* parent);
// A progress bar for the step's own work, hidden until the step shows it, its place kept.
[[nodiscard]] QProgressBar* makeProgressBar(const QString& accessibleName, QWidget* parent);
// A button that looks like a link and takes the keyboard focus like any button.
[[nodiscard]] QPushButton* makeLinkButton(const QString& text, const QString& objectName, QWidget* parent);

// A red that reads as an error on the palette's window colour, light or dark, with a contrast
// of at least 4.5:1.
[[nodiscard]] QColor errorTextColor(const QPalette& palette);

}  // namespace tomely::ui
