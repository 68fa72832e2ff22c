#include "ui/StepViewStyle.h"

#include <QAccessible>
#include <QFont>
#include <QPalette>
#include <QPointer>

#include "ui/FocusRing.h"
#include "ui/ReadableColors.h"

namespace tomely::ui {
namespace {

// Says its text to screen readers when it appears, and lends it to the control it is about as that
// control's description while it is shown, so that whoever comes back to the control hears why.
class ErrorLabel final : public QLabel {
public:
    ErrorLabel(const QString& text, QWidget* about, QWidget* parent) : QLabel(text, parent), about_(about) {
        followPalette(this, QPalette::WindowText, errorTextColor);
    }

    void setVisible(bool visible) override {
        const bool appears = visible && isHidden();
        QLabel::setVisible(visible);
        if (about_ != nullptr) {
            about_->setAccessibleDescription(visible ? text() : QString());
        }
        if (appears) {
            QAccessibleTextUpdateEvent event(this, 0, QString(), text());
            QAccessible::updateAccessibility(&event);
        }
    }

private:
    QPointer<QWidget> about_;
};

}  // namespace

QLabel* makeHeading(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * 1.4);
    font.setBold(true);
    label->setFont(font);
    label->setAccessibleName(text);
    return label;
}

QLabel* makeExplanation(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    label->setAccessibleName(text);
    return label;
}

QLabel* makeFieldLabel(const QString& text, QWidget* field) {
    auto* label = new QLabel(text, field->parentWidget());
    label->setBuddy(field);
    return label;
}

QLabel* makeErrorLabel(const QString& text, const QString& objectName, QWidget* about, QWidget* parent) {
    auto* label = new ErrorLabel(text, about, parent);
    label->setObjectName(objectName);
    label->setWordWrap(true);
    label->setAccessibleName(text);
    QSizePolicy policy = label->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    label->setSizePolicy(policy);
    label->hide();
    return label;
}

QProgressBar* makeProgressBar(const QString& accessibleName, QWidget* parent) {
    auto* bar = new QProgressBar(parent);
    bar->setObjectName(QStringLiteral("progressBar"));
    bar->setAccessibleName(accessibleName);
    QSizePolicy policy = bar->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    bar->setSizePolicy(policy);
    bar->hide();
    return bar;
}

QPushButton* makeLinkButton(const QString& text, const QString& objectName, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(objectName);
    button->setAccessibleName(text);
    button->setFlat(true);
    button->setCursor(Qt::PointingHandCursor);
    QFont underlined = button->font();
    underlined.setUnderline(true);
    button->setFont(underlined);
    button->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    followPalette(button, QPalette::ButtonText, [](const QPalette& palette) {
        return withContrast(palette.color(QPalette::Link), palette.color(QPalette::Window));
    });
    // A flat button shows no focus of its own.
    addFocusRing(button);
    return button;
}

void makePlaceholderReadable(QLineEdit* field) {
    followPalette(field, QPalette::PlaceholderText, [](const QPalette& palette) {
        return withContrast(palette.color(QPalette::PlaceholderText), palette.color(QPalette::Base));
    });
}

}  // namespace tomely::ui
