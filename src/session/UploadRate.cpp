#include "session/UploadRate.h"

#include <algorithm>

namespace tomely {

void UploadRate::sample(Clock::time_point now, std::int64_t sent) {
    // A new request starts its count again; only growth is progress.
    if (!samples_.empty() && sent < samples_.back().sent) {
        samples_.clear();
    }
    samples_.push_back({now, sent});
    while (samples_.size() > 2 && now - samples_[1].time >= kWindow) {
        samples_.pop_front();
    }
}

std::optional<double> UploadRate::bytesPerSecond() const {
    if (samples_.size() < 2) {
        return std::nullopt;
    }
    const double seconds = std::chrono::duration<double>(samples_.back().time - samples_.front().time).count();
    if (seconds <= 0) {
        return std::nullopt;
    }
    const double rate = static_cast<double>(samples_.back().sent - samples_.front().sent) / seconds;
    return cap_ > 0 ? std::min(rate, static_cast<double>(cap_)) : rate;
}

std::optional<double> UploadRate::secondsLeft(std::int64_t total) const {
    std::optional<double> rate = bytesPerSecond();
    if (cap_ > 0 && (!rate || *rate <= 0)) {
        rate = static_cast<double>(cap_);
    }
    if (!rate || *rate <= 0 || samples_.empty()) {
        return std::nullopt;
    }
    return static_cast<double>(std::max<std::int64_t>(total - samples_.back().sent, 0)) / *rate;
}

}  // namespace tomely
