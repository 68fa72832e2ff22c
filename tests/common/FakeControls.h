#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/Controls.h"

namespace tomely::test {

// Recording stand-ins for the widgets: every state can be read back, and each keeps the order of
// the operations it received so that tests can check sequences the container promises.

template <class Interface>
class FakeControlBase : public Interface {
public:
    void setHidden(bool hidden) override {
        hidden_ = hidden;
        record(hidden ? "hide" : "show");
    }
    [[nodiscard]] bool isHidden() const override { return hidden_; }
    void setEnabled(bool enabled) override {
        enabled_ = enabled;
        record(enabled ? "enable" : "disable");
    }
    [[nodiscard]] bool isEnabled() const override { return enabled_; }

    // Every operation received, oldest first, e.g. "hide", "text=abc", "start".
    std::vector<std::string> operations;

protected:
    void record(std::string operation) { operations.push_back(std::move(operation)); }

private:
    bool hidden_ = false;
    bool enabled_ = true;
};

class FakeTextControl : public FakeControlBase<TextControl> {
public:
    void setText(const std::string& text) override {
        text_ = text;
        record("text=" + text);
    }
    [[nodiscard]] std::string text() const override { return text_; }
    void setTextColor(TextColor color) override {
        color_ = color;
        record(color == TextColor::Black ? "color=black" : "color=gray");
    }
    [[nodiscard]] TextColor textColor() const override { return color_; }

private:
    std::string text_;
    TextColor color_ = TextColor::Black;
};

class FakeButton : public FakeControlBase<Button> {
public:
    void setTitle(const std::string& title) override {
        title_ = title;
        record("title=" + title);
    }
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
    void startAnimation() override {
        animating_ = true;
        record("start");
    }
    void stopAnimation() override {
        animating_ = false;
        record("stop");
    }
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
    void reloadData() override { ++reloadCount; }
    void selectRow(int row) override { selected_ = row; }
    [[nodiscard]] int selectedRow() const override { return selected_; }
    void setDataSource(const TableDataSource* source) override { dataSource = source; }
    void makeFirstResponder() override { ++firstResponderCount; }

    // The titles the table would show now, row by row (column 0).
    [[nodiscard]] std::vector<std::string> rows() const {
        std::vector<std::string> values;
        for (int row = 0; dataSource != nullptr && row < dataSource->numberOfRows(); ++row) {
            values.push_back(dataSource->objectValue(0, row));
        }
        return values;
    }

    int reloadCount = 0;
    int firstResponderCount = 0;
    const TableDataSource* dataSource = nullptr;

private:
    int selected_ = kNoSelection;
};

}  // namespace tomely::test
