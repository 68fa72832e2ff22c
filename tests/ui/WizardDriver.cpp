#include "WizardDriver.h"

#include <QApplication>
#include <QLineEdit>
#include <QPixmap>
#include <QTest>
#include <QTimer>

#include "ui/UploaderWindow.h"

namespace tomely::ui {

bool WizardDriver::waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    bool expired = false;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, [&expired] { expired = true; });
    deadline.start(timeout);
    while (!condition()) {
        if (expired) {
            return false;
        }
        // Blocks until an event arrives: a posted report, a timer, input, or the deadline.
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

QWidget* WizardDriver::window() const {
    UploaderWindowView* window = application_.delegate().window();
    return window == nullptr ? nullptr : dynamic_cast<UploaderWindow&>(*window).widget();
}

ACStepViewController* WizardDriver::currentStep() const {
    ACUploaderWindow* uploaderWindow = application_.delegate().uploaderWindow();
    return uploaderWindow == nullptr ? nullptr : uploaderWindow->mainViewController().contentViewController().get();
}

bool WizardDriver::activateWindow() const {
    window()->activateWindow();
    return waitUntil([this] { return QApplication::activeWindow() == window(); }, std::chrono::seconds(10));
}

void WizardDriver::type(const char* objectName, const QString& text) const {
    auto* field = control<QLineEdit>(objectName);
    field->setFocus(Qt::TabFocusReason);
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Backspace);
    QTest::keyClicks(field, text);
}

void WizardDriver::pressReturn() const {
    QWidget* focus = QApplication::focusWidget();
    QTest::keyClick(focus != nullptr ? focus : window(), Qt::Key_Return);
}

QImage WizardDriver::picture() const {
    QCoreApplication::processEvents();
    return window()->grab().toImage();
}

}  // namespace tomely::ui
