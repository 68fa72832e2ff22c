#include "ui/QtMainLoop.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QTimer>

namespace tomely::ui {

void QtMainLoop::post(Task task) {
    std::scoped_lock lock(mutex_);
    QCoreApplication* application = QCoreApplication::instance();
    if (!open_ || application == nullptr) {
        return;
    }
    QMetaObject::invokeMethod(
        application, [delivery = delivery(), task = std::move(task)]() mutable { delivery->deliver(std::move(task)); },
        Qt::QueuedConnection);
}

void QtMainLoop::postAfter(std::chrono::nanoseconds delay, Task task) {
    // Timers belong to the thread that starts them, so the GUI thread starts this one.
    const auto milliseconds = std::chrono::ceil<std::chrono::milliseconds>(delay);
    post([milliseconds, delivery = delivery(), task = std::move(task)]() mutable {
        QTimer::singleShot(milliseconds, Qt::PreciseTimer, QCoreApplication::instance(),
                           [delivery, task = std::move(task)]() mutable { delivery->deliver(std::move(task)); });
    });
}

bool QtMainLoop::isMainThread() const {
    return std::this_thread::get_id() == guiThread_;
}

void QtMainLoop::close() {
    std::scoped_lock lock(mutex_);
    open_ = false;
}

}  // namespace tomely::ui
