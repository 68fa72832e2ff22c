#include "Faults.h"

namespace tomely::shelf {

std::optional<FaultKind> faultKindFromText(const std::string& text) {
    if (text == "500") {
        return FaultKind::InternalError;
    }
    if (text == "503") {
        return FaultKind::Unavailable;
    }
    if (text == "drop") {
        return FaultKind::Drop;
    }
    if (text == "stall") {
        return FaultKind::Stall;
    }
    return std::nullopt;
}

bool FaultInjector::nextPartFails() {
    if (!settings_.afterParts) {
        return false;
    }
    std::scoped_lock lock(mutex_);
    if (partsPassed_ < *settings_.afterParts) {
        ++partsPassed_;
        return false;
    }
    return true;
}

void FaultInjector::stall() {
    std::unique_lock lock(mutex_);
    released_.wait_for(lock, settings_.stallLimit, [this] { return stopping_; });
}

void FaultInjector::releaseStalls() {
    {
        std::scoped_lock lock(mutex_);
        stopping_ = true;
    }
    released_.notify_all();
}

}  // namespace tomely::shelf
