#include "ui/StepArea.h"

#include <QEvent>
#include <QVBoxLayout>

#include <algorithm>

namespace tomely::ui {

StepArea::StepArea(QSize preferred, QWidget* parent) : QScrollArea(parent), preferred_(preferred) {
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    auto* host = new QWidget;
    auto* layout = new QVBoxLayout(host);
    layout->setContentsMargins(0, 0, 0, 0);
    setWidget(host);
    // The window's own colour, not that of a list.
    viewport()->setBackgroundRole(QPalette::Window);
    host->setBackgroundRole(QPalette::Window);
    // A new step's view, or a label that shows up in it, may need more room.
    host->installEventFilter(this);
}

void StepArea::setRoom(QSize room) {
    room = room.expandedTo(QSize(0, 0));
    if (room != room_) {
        room_ = room;
        updateGeometry();
    }
}

QSize StepArea::minimumSizeHint() const {
    // The content's minimum at the width the area takes, with its wrapped lines at that width.
    const QSize content = host()->minimumSizeHint();
    const int width = std::max(content.width(), preferred_.width());
    const int wrappedHeight = host()->hasHeightForWidth() ? host()->heightForWidth(width) : 0;
    const int height = std::max({content.height(), wrappedHeight, preferred_.height()});
    return QSize(width, height).boundedTo(room_);
}

QSize StepArea::sizeHint() const {
    return minimumSizeHint();
}

bool StepArea::eventFilter(QObject* watched, QEvent* event) {
    if (watched == host() && event->type() == QEvent::LayoutRequest) {
        updateGeometry();
    }
    return QScrollArea::eventFilter(watched, event);
}

}  // namespace tomely::ui
