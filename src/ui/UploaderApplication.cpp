#include "ui/UploaderApplication.h"

#include <QApplication>

#include "steps/ACWelcomeViewController.h"
#include "ui/QtMainLoop.h"

namespace tomely::ui {

namespace {

std::shared_ptr<ACStepViewController> makeFirstStep(ACMainViewController& container) {
    return ACStepViewController::initWithNibName<ACWelcomeViewController>("ACWelcomeViewController",
                                                                          container.mainBundle(), container);
}

}  // namespace

UploaderApplication::UploaderApplication() : delegate_(bundle_, desktop_.desktop, makeFirstStep) {
    MainLoop::install(std::make_shared<QtMainLoop>());
    QApplication::setQuitOnLastWindowClosed(delegate_.applicationShouldTerminateAfterLastWindowClosed());
}

void UploaderApplication::start() {
    delegate_.applicationDidFinishLaunching();
}

}  // namespace tomely::ui
