#include "ui/QtStepIndicator.h"

#include <QApplication>
#include <QFontMetrics>
#include <QHBoxLayout>

#include <algorithm>

#include "ui/ReadableColors.h"

namespace tomely::ui {
namespace {

const QString kCurrentMarker = QStringLiteral("▸");
const QString kDoneMarker = QStringLiteral("✓");

// As wide as its widest marker in bold, so that the titles stay in line whatever the markers.
class StepMarker final : public QLabel {
public:
    explicit StepMarker(QWidget* parent) : QLabel(parent) {
        QFont bold = font();
        bold.setBold(true);
        setFont(bold);
        setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    }
    [[nodiscard]] QSize sizeHint() const override {
        const QFontMetrics metrics(font());
        const int width = std::max(metrics.horizontalAdvance(kCurrentMarker), metrics.horizontalAdvance(kDoneMarker));
        return {width + metrics.averageCharWidth(), metrics.height()};
    }
    [[nodiscard]] QSize minimumSizeHint() const override { return sizeHint(); }
};

// As wide as its text in bold in every state, so that the list does not widen when its step
// becomes the current one.
class StepTitle final : public QLabel {
public:
    StepTitle(const QString& text, QWidget* parent) : QLabel(text, parent) {}
    [[nodiscard]] QSize sizeHint() const override { return widenedForBold(QLabel::sizeHint()); }
    [[nodiscard]] QSize minimumSizeHint() const override { return widenedForBold(QLabel::minimumSizeHint()); }

private:
    [[nodiscard]] QSize widenedForBold(QSize hint) const {
        QFont bold = font();
        bold.setBold(true);
        const int extra = QFontMetrics(bold).horizontalAdvance(text()) - fontMetrics().horizontalAdvance(text());
        hint.rwidth() += std::max(0, extra);
        return hint;
    }
};

QWidget* makeRow(QWidget* parent) {
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    return row;
}

}  // namespace

QtStepIndicator::QtStepIndicator(const QString& title, QWidget* parent)
    : QtControl(makeRow(parent)), marker_(new StepMarker(widget())), title_(new StepTitle(title, widget())) {
    auto* row = static_cast<QHBoxLayout*>(widget()->layout());
    row->addWidget(marker_);
    row->addWidget(title_);
    row->addStretch();
    title_->setAccessibleName(title);
    onPaletteChange(widget(), [this] { apply(); });
}

void QtStepIndicator::setState(StepState state) {
    state_ = state;
    apply();
}

void QtStepIndicator::apply() {
    QFont font = title_->font();
    font.setBold(state_ == StepState::Current);
    title_->setFont(font);
    switch (state_) {
        case StepState::Upcoming:
            marker_->setText(QString());
            title_->setAccessibleDescription(QStringLiteral("To come"));
            break;
        case StepState::Current:
            marker_->setText(kCurrentMarker);
            title_->setAccessibleDescription(QStringLiteral("Current step"));
            break;
        case StepState::Done:
            marker_->setText(kDoneMarker);
            title_->setAccessibleDescription(QStringLiteral("Done"));
            break;
    }
    marker_->setAccessibleName(title_->accessibleDescription());
    const QPalette inherited = QApplication::palette(title_);
    QPalette palette = inherited;
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        QPalette source = inherited;
        source.setCurrentColorGroup(group);
        palette.setColor(group, QPalette::WindowText,
                         state_ == StepState::Upcoming ? dimmedText(source, QPalette::WindowText, QPalette::Window)
                                                       : source.color(QPalette::WindowText));
    }
    title_->setPalette(palette);
    marker_->setPalette(palette);
}

}  // namespace tomely::ui
