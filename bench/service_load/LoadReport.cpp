#include "LoadReport.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tomely::bench {

void Latencies::add(double milliseconds) {
    std::scoped_lock lock(mutex_);
    samples_.push_back(milliseconds);
}

std::size_t Latencies::count() const {
    std::scoped_lock lock(mutex_);
    return samples_.size();
}

std::string Latencies::summary() const {
    std::vector<double> sorted;
    {
        std::scoped_lock lock(mutex_);
        sorted = samples_;
    }
    if (sorted.empty()) {
        return "no requests";
    }
    std::sort(sorted.begin(), sorted.end());
    const auto at = [&](double fraction) {
        const auto index = static_cast<std::size_t>(std::ceil(fraction * static_cast<double>(sorted.size()))) - 1;
        return sorted[std::min(index, sorted.size() - 1)];
    };
    char text[160];
    std::snprintf(text, sizeof text, "p50 %.1f  p90 %.1f  p99 %.1f  max %.1f ms (n=%zu)", at(0.5), at(0.9), at(0.99),
                  sorted.back(), sorted.size());
    return text;
}

std::string throughput(double bytes, double seconds) {
    char text[96];
    std::snprintf(text, sizeof text, "%.1f MB in %.2f s = %.1f MB/s", bytes / 1e6, seconds, bytes / 1e6 / seconds);
    return text;
}

}  // namespace tomely::bench
