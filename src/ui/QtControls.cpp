#include "ui/QtControls.h"

#include <QPalette>

namespace tomely::ui {
namespace {

QColor colorOf(TextColor color) {
    // The platform's label colours: black, and gray at 50 % white.
    return color == TextColor::Black ? QColor(0, 0, 0) : QColor(128, 128, 128);
}

void applyColor(QWidget* widget, QPalette::ColorRole role, TextColor color) {
    QPalette palette = widget->palette();
    palette.setColor(role, colorOf(color));
    widget->setPalette(palette);
}

}  // namespace

void QtLabel::setText(const std::string& text) {
    label_->setText(QString::fromStdString(text));
}
std::string QtLabel::text() const {
    return label_->text().toStdString();
}
void QtLabel::setTextColor(TextColor color) {
    color_ = color;
    applyColor(label_, QPalette::WindowText, color);
}

void QtTextField::setText(const std::string& text) {
    field_->setText(QString::fromStdString(text));
}
std::string QtTextField::text() const {
    return field_->text().toStdString();
}
void QtTextField::setTextColor(TextColor color) {
    color_ = color;
    applyColor(field_, QPalette::Text, color);
}

QtButton::QtButton(QPushButton* button) : QtControl(button), button_(button) {
    QObject::connect(button_, &QPushButton::clicked, [this] {
        if (action_) {
            action_();
        }
    });
}
void QtButton::setTitle(const std::string& title) {
    button_->setText(QString::fromStdString(title));
}
std::string QtButton::title() const {
    return button_->text().toStdString();
}

QtProgressIndicator::QtProgressIndicator(QProgressBar* bar) : QtControl(bar), bar_(bar) {
    bar_->setTextVisible(false);
    apply();
}
void QtProgressIndicator::startAnimation() {
    animating_ = true;
    apply();
}
void QtProgressIndicator::stopAnimation() {
    animating_ = false;
    apply();
}
void QtProgressIndicator::setIndeterminate(bool indeterminate) {
    indeterminate_ = indeterminate;
    apply();
}
void QtProgressIndicator::setMaxValue(double maximum) {
    max_ = maximum;
    apply();
}
void QtProgressIndicator::setValue(double value) {
    value_ = value;
    apply();
}
void QtProgressIndicator::apply() {
    if (indeterminate_) {
        // A busy bar moves by itself; a stopped one stands still and empty.
        bar_->setRange(0, animating_ ? 0 : 1);
        bar_->setValue(0);
        return;
    }
    bar_->setRange(0, static_cast<int>(max_ * kScale));
    bar_->setValue(static_cast<int>(value_ * kScale));
}

QtView::~QtView() {
    if (ownership_ == Ownership::Owned && widget_) {
        delete widget_.data();
    }
}

Size QtView::frameSize() const {
    return {static_cast<double>(widget_->width()), static_cast<double>(widget_->height())};
}

Rect QtView::frame() const {
    const QRect geometry = widget_->geometry();
    const double parentHeight = widget_->parentWidget() != nullptr ? widget_->parentWidget()->height() : 0;
    return {static_cast<double>(geometry.x()), parentHeight - geometry.y() - geometry.height(),
            static_cast<double>(geometry.width()), static_cast<double>(geometry.height())};
}

void QtView::addSubview(View& subview, Rect frame) {
    QWidget* child = dynamic_cast<QtView&>(subview).widget();
    child->setParent(widget_);
    // Frames count from the bottom-left corner; Qt counts from the top-left.
    const double top = widget_->height() - frame.y - frame.height;
    child->setGeometry(static_cast<int>(frame.x), static_cast<int>(top), static_cast<int>(frame.width),
                       static_cast<int>(frame.height));
    child->show();
    // The keyboard goes to the view just shown (to the control its focus proxy names).
    child->setFocus(Qt::OtherFocusReason);
}

void QtView::removeFromSuperview() {
    widget_->hide();
    widget_->setParent(nullptr);
}

}  // namespace tomely::ui
