#include "ui/QtMainLoop.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <QTimer>

namespace tomely::ui {

void QtMainLoop::post(Task task) {
    // Once the application object is gone the process is ending: nothing is left to report to.
    if (QCoreApplication* application = QCoreApplication::instance(); application != nullptr) {
        QMetaObject::invokeMethod(application, std::move(task), Qt::QueuedConnection);
    }
}

void QtMainLoop::postAfter(std::chrono::nanoseconds delay, Task task) {
    // Timers belong to the thread that starts them, so the GUI thread starts this one.
    const auto milliseconds = std::chrono::ceil<std::chrono::milliseconds>(delay);
    post([milliseconds, task = std::move(task)]() mutable {
        QTimer::singleShot(milliseconds, Qt::PreciseTimer, QCoreApplication::instance(), std::move(task));
    });
}

bool QtMainLoop::isMainThread() const {
    const QCoreApplication* application = QCoreApplication::instance();
    return application != nullptr && QThread::currentThread() == application->thread();
}

}  // namespace tomely::ui
