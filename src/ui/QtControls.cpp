#include "ui/QtControls.h"

#include <QLayout>

namespace tomely::ui {

void QtLabel::setText(const std::string& text) {
    label_->setText(QString::fromStdString(text));
}
std::string QtLabel::text() const {
    return label_->text().toStdString();
}

QtTextField::QtTextField(QLineEdit* field) : QtControl(field), field_(field) {
    QObject::connect(field_, &QLineEdit::textChanged, [this] {
        if (changed_) {
            changed_();
        }
    });
}
void QtTextField::setText(const std::string& text) {
    field_->setText(QString::fromStdString(text));
}
std::string QtTextField::text() const {
    return field_->text().toStdString();
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

void QtView::addSubview(View& subview) {
    QWidget* child = dynamic_cast<QtView&>(subview).widget();
    child->setParent(widget_);
    widget_->layout()->addWidget(child);
    child->show();
    // The keyboard goes to the view just shown (to the control its focus proxy names).
    child->setFocus(Qt::OtherFocusReason);
}

void QtView::removeFromSuperview() {
    widget_->hide();
    widget_->setParent(nullptr);
}

}  // namespace tomely::ui
