#include "ui/UploaderApplication.h"

#include <QApplication>

#include "ui/QtMainLoop.h"

namespace tomely::ui {

UploaderApplication::UploaderApplication() : delegate_(bundle_, desktop_.desktop) {
    MainLoop::install(std::make_shared<QtMainLoop>());
    QApplication::setQuitOnLastWindowClosed(delegate_.applicationShouldTerminateAfterLastWindowClosed());
}

void UploaderApplication::start() {
    delegate_.applicationDidFinishLaunching();
}

}  // namespace tomely::ui
