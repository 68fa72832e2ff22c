#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QWidget>

#include "app/Controls.h"
#include "app/View.h"

namespace tomely::ui {

// The control interfaces on top of widgets. A wrapper does not own its widget: the widget tree
// does. Hidden means hidden by the logic, whether or not the window is on screen.

template <class Interface>
class QtControl : public Interface {
public:
    explicit QtControl(QWidget* widget) : widget_(widget) {}
    void setHidden(bool hidden) override { widget_->setHidden(hidden); }
    [[nodiscard]] bool isHidden() const override { return widget_->isHidden(); }
    void setEnabled(bool enabled) override { widget_->setEnabled(enabled); }
    [[nodiscard]] bool isEnabled() const override { return widget_->isEnabled(); }
    // The widget, for the view that lays it out.
    [[nodiscard]] QWidget* widget() const { return widget_; }

protected:
    QWidget* widget_;
};

class QtLabel final : public QtControl<TextControl> {
public:
    explicit QtLabel(QLabel* label) : QtControl(label), label_(label) {}
    void setText(const std::string& text) override;
    [[nodiscard]] std::string text() const override;

private:
    QLabel* label_;
};

class QtTextField final : public QtControl<TextField> {
public:
    explicit QtTextField(QLineEdit* field);
    void setText(const std::string& text) override;
    [[nodiscard]] std::string text() const override;
    void setTextChangedAction(std::function<void()> action) override { changed_ = std::move(action); }

private:
    QLineEdit* field_;
    std::function<void()> changed_;
};

class QtButton final : public QtControl<Button> {
public:
    explicit QtButton(QPushButton* button);
    void setTitle(const std::string& title) override;
    [[nodiscard]] std::string title() const override;
    void setAction(std::function<void()> action) override { action_ = std::move(action); }

private:
    QPushButton* button_;
    std::function<void()> action_;
};

// A progress bar in busy mode while animating; also the working spinner.
class QtProgressIndicator final : public QtControl<ProgressIndicator> {
public:
    explicit QtProgressIndicator(QProgressBar* bar);
    void startAnimation() override;
    void stopAnimation() override;
    [[nodiscard]] bool isAnimating() const override { return animating_; }
    void setIndeterminate(bool indeterminate) override;
    [[nodiscard]] bool isIndeterminate() const override { return indeterminate_; }
    void setMaxValue(double maximum) override;
    [[nodiscard]] double maxValue() const override { return max_; }
    void setValue(double value) override;
    [[nodiscard]] double value() const override { return value_; }

private:
    // Qt's bars count in integers; values are scaled so fractions of a part still move the bar.
    static constexpr double kScale = 1000;
    void apply();

    QProgressBar* bar_;
    bool animating_ = false;
    bool indeterminate_ = true;
    double max_ = 100;
    double value_ = 0;
};

class QtSpinner final : public QtControl<Spinner> {
public:
    explicit QtSpinner(QProgressBar* bar) : QtControl(bar), indicator_(bar) {}
    void startAnimation() override { indicator_.startAnimation(); }
    void stopAnimation() override { indicator_.stopAnimation(); }
    [[nodiscard]] bool isAnimating() const override { return indicator_.isAnimating(); }

private:
    QtProgressIndicator indicator_;
};

// A view over a widget. A step's view owns its widget until Qt's tree deletes it first.
class QtView : public View {
public:
    enum class Ownership { Owned, Borrowed };
    QtView(QWidget* widget, Ownership ownership) : widget_(widget), ownership_(ownership) {}
    ~QtView() override;
    QtView(const QtView&) = delete;
    QtView& operator=(const QtView&) = delete;

    // Puts the subview in this widget's layout, and gives it the keyboard.
    void addSubview(View& subview) override;
    void removeFromSuperview() override;

    [[nodiscard]] QWidget* widget() const { return widget_; }

private:
    QPointer<QWidget> widget_;
    Ownership ownership_;
};

}  // namespace tomely::ui
