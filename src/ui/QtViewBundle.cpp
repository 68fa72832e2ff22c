#include "ui/QtViewBundle.h"

#include <utility>

#include "ui/QtAuthView.h"
#include "ui/QtControls.h"
#include "ui/QtLocateBookView.h"
#include "ui/QtPrepareBookView.h"
#include "ui/QtUploadBookView.h"
#include "ui/QtUploadDoneView.h"
#include "ui/UploaderWindow.h"

namespace tomely::ui {
namespace {

// Each step's view by the name of its step.
const std::pair<std::string_view, std::unique_ptr<View> (*)()> kStepViews[] = {
    {"ACAuthViewController", makeAuthView},
    {"ACLocateBookViewController", makeLocateBookView},
    {"ACPrepareBookViewController", makePrepareBookView},
    {"ACUploadBookViewController", []() -> std::unique_ptr<View> { return std::make_unique<QtUploadBookView>(); }},
    {"ACUploadDoneViewController", []() -> std::unique_ptr<View> { return std::make_unique<QtUploadDoneView>(); }},
};

}  // namespace

std::unique_ptr<View> QtViewBundle::loadView(std::string_view name) {
    for (const auto& [viewName, make] : kStepViews) {
        if (viewName == name) {
            return make();
        }
    }
    return nullptr;
}

std::unique_ptr<UploaderWindowView> QtViewBundle::loadWindow(std::string_view name) {
    if (name == "ACUploaderWindow") {
        return std::make_unique<UploaderWindow>();
    }
    return nullptr;
}

}  // namespace tomely::ui
