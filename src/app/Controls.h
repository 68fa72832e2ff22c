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

// A label, a text field or a secure text field.
class TextControl : public Control {
public:
    virtual void setText(const std::string& text) = 0;
    [[nodiscard]] virtual std::string text() const = 0;
};

// A field the author types into.
class TextField : public TextControl {
public:
    // Runs after every change of the text, typed or set; an empty action stops the calls.
    virtual void setTextChangedAction(std::function<void()> action) = 0;
};

// Where a step of the wizard stands.
enum class StepState { Upcoming, Current, Done };

// The indicator of one step. It shows the state by more than colour (the current step stands
// out in weight and with a marker, a done step carries a tick), so that it reads in any theme
// and for those who do not tell colours apart.
class StepIndicator : public Control {
public:
    virtual void setState(StepState state) = 0;
    [[nodiscard]] virtual StepState state() const = 0;
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
    // A disabled row is shown, greyed, but can be selected neither by the user nor by selectRow.
    [[nodiscard]] virtual bool isRowEnabled(int row) const = 0;
};

// A table whose rows the step's data source supplies; only selection is driven from logic.
class TableControl : public Control {
public:
    static constexpr int kNoSelection = -1;
    virtual void reloadData() = 0;
    // Replaces the selection; a row outside the table, or disabled, leaves nothing selected.
    virtual void selectRow(int row) = 0;
    [[nodiscard]] virtual int selectedRow() const = 0;
    // The source is not owned; the step sets it before the table is shown and outlives it.
    virtual void setDataSource(const TableDataSource* dataSource) = 0;
    // Gives the table the keyboard focus of its window.
    virtual void makeFirstResponder() = 0;
    // Runs after every change of the selected row, by the author or by selectRow; an empty action
    // stops the calls.
    virtual void setSelectionChangedAction(std::function<void()> action) = 0;
    // A table that is set aside shows that its rows do not count for now: it is dimmed, and its
    // selection is kept for when they count again.
    virtual void setSetAside(bool setAside) = 0;
    [[nodiscard]] virtual bool isSetAside() const = 0;
};

}  // namespace tomely
