#pragma once

#include <functional>
#include <string>

namespace tomely {

// The few operations the wizard performs on its controls. The Qt widgets implement them in
// src/ui; tests implement them with recording fakes. All of them are used on the main thread.

class Control {
public:
    virtual ~Control() = default;
    virtual void setHidden(bool hidden) = 0;
    [[nodiscard]] virtual bool isHidden() const = 0;
    virtual void setEnabled(bool enabled) = 0;
    [[nodiscard]] virtual bool isEnabled() const = 0;
};

// The platform's two label colours.
enum class TextColor { Black, Gray };

// A label, a text field or a secure text field.
class TextControl : public Control {
public:
    virtual void setText(const std::string& text) = 0;
    [[nodiscard]] virtual std::string text() const = 0;
    virtual void setTextColor(TextColor color) = 0;
    [[nodiscard]] virtual TextColor textColor() const = 0;
};

class Button : public Control {
public:
    virtual void setTitle(const std::string& title) = 0;
    [[nodiscard]] virtual std::string title() const = 0;
    // Called when the user presses the button.
    virtual void setAction(std::function<void()> action) = 0;
};

// An indeterminate spinner; shown and hidden separately from its animation.
class Spinner : public Control {
public:
    virtual void startAnimation() = 0;
    virtual void stopAnimation() = 0;
    [[nodiscard]] virtual bool isAnimating() const = 0;
};

// A progress bar that is indeterminate (animated like a spinner) or shows value of maximum.
class ProgressIndicator : public Spinner {
public:
    virtual void setIndeterminate(bool indeterminate) = 0;
    [[nodiscard]] virtual bool isIndeterminate() const = 0;
    virtual void setMaxValue(double maximum) = 0;
    [[nodiscard]] virtual double maxValue() const = 0;
    virtual void setValue(double value) = 0;
    [[nodiscard]] virtual double value() const = 0;
};

// What a table shows, supplied by the step that owns the table.
class TableDataSource {
public:
    virtual ~TableDataSource() = default;
    [[nodiscard]] virtual int numberOfRows() const = 0;
    [[nodiscard]] virtual std::string objectValue(int column, int row) const = 0;
};

// A table whose rows the step's data source supplies; only selection is driven from logic.
class TableControl : public Control {
public:
    static constexpr int kNoSelection = -1;
    virtual void reloadData() = 0;
    virtual void selectRow(int row) = 0;
    [[nodiscard]] virtual int selectedRow() const = 0;
    // The source is not owned; the step sets it before the table is shown and outlives it.
    virtual void setDataSource(const TableDataSource* dataSource) = 0;
    // Gives the table the keyboard focus of its window.
    virtual void makeFirstResponder() = 0;
};

}  // namespace tomely
