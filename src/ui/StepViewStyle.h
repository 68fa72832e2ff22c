#pragma once

#include <QLabel>
#include <QLineEdit>
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
// A label for a problem the author can correct, about the control `about` (may be null). Hidden
// until the step shows it; its place in the layout stays reserved, so showing it moves nothing. Its
// red follows the palette, dark or light. Screen readers hear it when it appears, and hear it again
// as the description of `about` while it is shown.
[[nodiscard]] QLabel* makeErrorLabel(const QString& text, const QString& objectName, QWidget* about, QWidget* parent);
// A progress bar for the step's own work, hidden until the step shows it, its place kept.
[[nodiscard]] QProgressBar* makeProgressBar(const QString& accessibleName, QWidget* parent);
// A button that looks like a link and takes the keyboard focus like any button, and shows it.
[[nodiscard]] QPushButton* makeLinkButton(const QString& text, const QString& objectName, QWidget* parent);
// Keeps the field's placeholder text readable on its background.
void makePlaceholderReadable(QLineEdit* field);

}  // namespace tomely::ui
