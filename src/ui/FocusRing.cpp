#include "ui/FocusRing.h"

#include <QEvent>
#include <QPainter>
#include <QPointer>

#include "ui/ReadableColors.h"

namespace tomely::ui {
namespace {

constexpr int kWidth = 2;

class FocusRing final : public QWidget {
public:
    explicit FocusRing(QWidget* widget) : QWidget(widget->parentWidget()), widget_(widget) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
        setAccessibleName(QStringLiteral("Keyboard focus"));
        widget->installEventFilter(this);
        follow();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
            case QEvent::FocusIn:
            case QEvent::FocusOut:
            case QEvent::Move:
            case QEvent::Resize:
            case QEvent::Show:
            case QEvent::Hide:
            case QEvent::ParentChange:
                follow();
                break;
            default:
                break;
        }
        return QWidget::eventFilter(watched, event);
    }

    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(focusRingColor(palette()), kWidth));
        painter.drawRoundedRect(QRectF(rect()).adjusted(kWidth / 2.0, kWidth / 2.0, -kWidth / 2.0, -kWidth / 2.0), 3,
                                3);
    }

private:
    void follow() {
        if (widget_ == nullptr) {
            return;
        }
        if (parentWidget() != widget_->parentWidget()) {
            setParent(widget_->parentWidget());
        }
        setGeometry(widget_->geometry().adjusted(-kWidth, -kWidth, kWidth, kWidth));
        setVisible(widget_->isVisible() && widget_->hasFocus());
        raise();
    }

    QPointer<QWidget> widget_;
};

}  // namespace

void addFocusRing(QWidget* widget) {
    new FocusRing(widget);
}

QColor focusRingColor(const QPalette& palette) {
    constexpr double kFocusContrast = 3;
    return withContrast(palette.color(QPalette::Highlight), palette.color(QPalette::Window), kFocusContrast);
}

}  // namespace tomely::ui
