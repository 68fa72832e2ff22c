#include "app/ACAppDelegate.h"

namespace tomely {

void ACAppDelegate::applicationDidFinishLaunching() {
    uploaderWindow_ = ACUploaderWindow::initWithWindowNibName(bundle_, desktop_, firstStep_);
    if (uploaderWindow_) {
        uploaderWindow_->showWindow();
    }
}

}  // namespace tomely
