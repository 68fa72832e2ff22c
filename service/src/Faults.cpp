#include "Faults.h"

#include <algorithm>

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

std::optional<std::vector<FaultKind>> faultKindsFromText(const std::string& text) {
    std::vector<FaultKind> kinds;
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        const auto kind = faultKindFromText(text.substr(start, comma - start));
        if (!kind) {
            return std::nullopt;
        }
        kinds.push_back(*kind);
        start = comma + 1;
    }
    return kinds;
}

std::optional<FaultKind> FaultInjector::nextPartFault() {
    if (!settings_.afterParts || settings_.kinds.empty()) {
        return std::nullopt;
    }
    std::scoped_lock lock(mutex_);
    if (partsPassed_ < *settings_.afterParts || (settings_.count && partsFailed_ >= *settings_.count)) {
        ++partsPassed_;
        return std::nullopt;
    }
    return settings_.kinds[partsFailed_++ % settings_.kinds.size()];
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
