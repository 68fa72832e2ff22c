#include "ui/StepViewStyle.h"

#include <QApplication>
#include <QEvent>
#include <QFont>
#include <QPalette>

namespace tomely::ui {
namespace {

// Recolours itself when the desktop switches between light and dark.
class ErrorLabel final : public QLabel {
public:
    ErrorLabel(const QString& text, QWidget* parent) : QLabel(text, parent) { applyColor(); }

protected:
    void changeEvent(QEvent* event) override {
        if (event->type() == QEvent::ApplicationPaletteChange) {
            applyColor();
        }
        QLabel::changeEvent(event);
    }

private:
    void applyColor() {
        QPalette palette = this->palette();
        palette.setColor(QPalette::WindowText, errorTextColor(QApplication::palette()));
        setPalette(palette);
    }
};

}  // namespace

QColor errorTextColor(const QPalette& palette) {
    // #B3261E on white is 6.5:1; #FF8A80 on a dark grey such as #2B2B2B is 6.2:1.
    const bool darkBackground = palette.color(QPalette::Window).lightness() < 128;
    return darkBackground ? QColor(0xFF, 0x8A, 0x80) : QColor(0xB3, 0x26, 0x1E);
}

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

QLabel* makeErrorLabel(const QString& text, const QString& objectName, QWidget* parent) {
    auto* label = new ErrorLabel(text, parent);
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
    QPalette palette = button->palette();
    palette.setColor(QPalette::ButtonText, palette.color(QPalette::Link));
    button->setPalette(palette);
    QFont font = button->font();
    font.setUnderline(true);
    button->setFont(font);
    button->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    return button;
}

}  // namespace tomely::ui
