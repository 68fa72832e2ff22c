#include "common/FakeWindow.h"

namespace tomely::test {

std::unique_ptr<View> FakeViewBundle::loadView(std::string_view name) {
    auto it = views_.find(name);
    if (it == views_.end()) {
        return nullptr;
    }
    std::unique_ptr<View> view = it->second();
    lastLoaded_[std::string(name)] = view.get();
    return view;
}

std::unique_ptr<UploaderWindowView> FakeViewBundle::loadWindow(std::string_view name) {
    if (name != "ACUploaderWindow") {
        return nullptr;
    }
    return std::move(window);
}

View* FakeViewBundle::lastLoaded(const std::string& name) const {
    auto it = lastLoaded_.find(name);
    return it == lastLoaded_.end() ? nullptr : it->second;
}

}  // namespace tomely::test
