#include "ui/ReadableColors.h"

#include <QApplication>
#include <QEvent>

#include <cmath>

namespace tomely::ui {
namespace {

double channelLuminance(double channel) {
    return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
}

double relativeLuminance(const QColor& color) {
    return 0.2126 * channelLuminance(color.redF()) + 0.7152 * channelLuminance(color.greenF()) +
           0.0722 * channelLuminance(color.blueF());
}

// `top` at `weight` (0 to 1) over `bottom`.
QColor mix(const QColor& top, const QColor& bottom, double weight) {
    const auto channel = [weight](double a, double b) { return a * weight + b * (1 - weight); };
    return QColor::fromRgbF(static_cast<float>(channel(top.redF(), bottom.redF())),
                            static_cast<float>(channel(top.greenF(), bottom.greenF())),
                            static_cast<float>(channel(top.blueF(), bottom.blueF())));
}

// Calls its function when the application's palette changes; a child of the widget it watches.
class PaletteWatcher final : public QObject {
public:
    PaletteWatcher(QWidget* widget, std::function<void()> apply) : QObject(widget), apply_(std::move(apply)) {
        widget->installEventFilter(this);
        apply_();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::ApplicationPaletteChange) {
            apply_();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> apply_;
};

}  // namespace

double contrastRatio(const QColor& first, const QColor& second) {
    const double a = relativeLuminance(first);
    const double b = relativeLuminance(second);
    return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

QColor withContrast(const QColor& color, const QColor& against, double minimum) {
    const QColor opaque = mix(color, against, color.alphaF());
    if (contrastRatio(opaque, against) >= minimum) {
        return opaque;
    }
    const QColor black(0, 0, 0);
    const QColor white(255, 255, 255);
    const QColor target = contrastRatio(black, against) >= contrastRatio(white, against) ? black : white;
    constexpr int kSteps = 40;
    for (int step = 1; step < kSteps; ++step) {
        const QColor candidate = mix(target, opaque, static_cast<double>(step) / kSteps);
        if (contrastRatio(candidate, against) >= minimum) {
            return candidate;
        }
    }
    return target;
}

QColor dimmedText(const QPalette& palette, QPalette::ColorRole text, QPalette::ColorRole background) {
    const QColor behind = palette.color(background);
    return withContrast(mix(palette.color(text), behind, 0.55), behind);
}

QColor errorTextColor(const QPalette& palette) {
    return withContrast(QColor(0xC6, 0x28, 0x28), palette.color(QPalette::Window));
}

void onPaletteChange(QWidget* widget, std::function<void()> apply) {
    new PaletteWatcher(widget, std::move(apply));
}

void followPalette(QWidget* widget, QPalette::ColorRole role, std::function<QColor(const QPalette&)> color) {
    onPaletteChange(widget, [widget, role, color = std::move(color)] {
        // Worked out afresh from the application's palette, which is already the new one when the
        // widgets hear of the change (the widget's own palette may not be yet).
        const QPalette inherited = QApplication::palette(widget);
        QPalette palette = widget->palette();
        for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
            QPalette source = inherited;
            source.setCurrentColorGroup(group);
            palette.setColor(group, role, color(source));
        }
        widget->setPalette(palette);
    });
}

}  // namespace tomely::ui
