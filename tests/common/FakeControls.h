#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/Controls.h"

namespace tomely::test {

// Stand-ins for the widgets whose every state can be read back: tests check what the user would
// see, not the calls that led there.

template <class Interface>
class FakeControlBase : public Interface {
public:
    void setHidden(bool hidden) override { hidden_ = hidden; }
    [[nodiscard]] bool isHidden() const override { return hidden_; }
    void setEnabled(bool enabled) override { enabled_ = enabled; }
    [[nodiscard]] bool isEnabled() const override { return enabled_; }

private:
    bool hidden_ = false;
    bool enabled_ = true;
};

template <class Interface>
class FakeTextControlOf : public FakeControlBase<Interface> {
public:
    void setText(const std::string& text) override {
        text_ = text;
        texts.push_back(text);
    }
    [[nodiscard]] std::string text() const override { return text_; }

    // Every text set, oldest first: what a reader of the control saw go by.
    std::vector<std::string> texts;

private:
    std::string text_;
};

using FakeTextControl = FakeTextControlOf<TextControl>;

// A field whose setText stands for the author typing: it runs the change action as a field does.
class FakeTextField : public FakeTextControlOf<TextField> {
public:
    void setText(const std::string& text) override {
        FakeTextControlOf::setText(text);
        if (changed_) {
            changed_();
        }
    }
    void setTextChangedAction(std::function<void()> action) override { changed_ = std::move(action); }

private:
    std::function<void()> changed_;
};

class FakeStepIndicator : public FakeControlBase<StepIndicator> {
public:
    void setState(StepState state) override { state_ = state; }
    [[nodiscard]] StepState state() const override { return state_; }

private:
    StepState state_ = StepState::Upcoming;
};

class FakeButton : public FakeControlBase<Button> {
public:
    void setTitle(const std::string& title) override { title_ = title; }
    [[nodiscard]] std::string title() const override { return title_; }
    void setAction(std::function<void()> action) override { action_ = std::move(action); }
    // What a click does: nothing when the button is hidden or disabled.
    void click() {
        if (!isHidden() && isEnabled() && action_) {
            action_();
        }
    }

private:
    std::string title_;
    std::function<void()> action_;
};

class FakeSpinner : public FakeControlBase<Spinner> {
public:
    void startAnimation() override { animating_ = true; }
    void stopAnimation() override { animating_ = false; }
    [[nodiscard]] bool isAnimating() const override { return animating_; }

private:
    bool animating_ = false;
};

class FakeProgressIndicator : public FakeControlBase<ProgressIndicator> {
public:
    void startAnimation() override { animating_ = true; }
    void stopAnimation() override { animating_ = false; }
    [[nodiscard]] bool isAnimating() const override { return animating_; }
    void setIndeterminate(bool indeterminate) override { indeterminate_ = indeterminate; }
    [[nodiscard]] bool isIndeterminate() const override { return indeterminate_; }
    void setMaxValue(double maximum) override { max_ = maximum; }
    [[nodiscard]] double maxValue() const override { return max_; }
    void setValue(double value) override {
        value_ = value;
        values.push_back(value);
    }
    [[nodiscard]] double value() const override { return value_; }

    std::vector<double> values;

private:
    bool animating_ = false;
    bool indeterminate_ = true;
    double max_ = 100;
    double value_ = 0;
};

class FakeTableControl : public FakeControlBase<TableControl> {
public:
    void reloadData() override {}
    // Also what the author's click on a row does; a disabled row cannot be selected.
    void selectRow(int row) override {
        const bool selectable =
            dataSource != nullptr && row >= 0 && row < dataSource->numberOfRows() && dataSource->isRowEnabled(row);
        selected_ = selectable ? row : kNoSelection;
        if (selectionChanged_) {
            selectionChanged_();
        }
    }
    [[nodiscard]] int selectedRow() const override { return selected_; }
    void setDataSource(const TableDataSource* source) override { dataSource = source; }
    void makeFirstResponder() override { ++firstResponderCount; }
    void setSelectionChangedAction(std::function<void()> action) override { selectionChanged_ = std::move(action); }
    void setSetAside(bool setAside) override { setAside_ = setAside; }
    [[nodiscard]] bool isSetAside() const override { return setAside_; }

    // The titles the table would show now, row by row (column 0); a disabled row's in brackets.
    [[nodiscard]] std::vector<std::string> rows() const {
        std::vector<std::string> values;
        for (int row = 0; dataSource != nullptr && row < dataSource->numberOfRows(); ++row) {
            const std::string title = dataSource->objectValue(0, row);
            values.push_back(dataSource->isRowEnabled(row) ? title : "[" + title + "]");
        }
        return values;
    }

    int firstResponderCount = 0;
    const TableDataSource* dataSource = nullptr;

private:
    int selected_ = kNoSelection;
    bool setAside_ = false;
    std::function<void()> selectionChanged_;
};

}  // namespace tomely::test
