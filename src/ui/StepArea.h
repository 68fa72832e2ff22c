#pragma once

#include <QScrollArea>
#include <QSize>

namespace tomely::ui {

// The window's step area. It asks for the room its step's view needs, and for at least its
// preferred size (595 x 470) where the screen has that room. Only when the screen is too small for
// the step's content (huge fonts on a small screen) does it ask for less and scroll, so that the
// rest of the window, Cancel and Continue among it, stays on the screen.
class StepArea final : public QScrollArea {
public:
    StepArea(QSize preferred, QWidget* parent);

    // The widget whose layout holds the step's view.
    [[nodiscard]] QWidget* host() const { return widget(); }
    // The most the step area may ask for: what the screen leaves it beside the rest of the window.
    void setRoom(QSize room);

    [[nodiscard]] QSize sizeHint() const override;
    [[nodiscard]] QSize minimumSizeHint() const override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QSize preferred_;
    QSize room_{QWIDGETSIZE_MAX, QWIDGETSIZE_MAX};
};

}  // namespace tomely::ui
