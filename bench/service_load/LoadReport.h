#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

namespace tomely::bench {

// Request latencies of one phase, gathered from several client threads.
class Latencies {
public:
    void add(double milliseconds);
    // "p50 12.3  p90 20.1  p99 41.0  max 55.2 ms (n=400)"
    [[nodiscard]] std::string summary() const;
    [[nodiscard]] std::size_t count() const;

private:
    mutable std::mutex mutex_;
    std::vector<double> samples_;
};

// "412.3 MB in 20.1 s = 20.5 MB/s" with decimal megabytes.
[[nodiscard]] std::string throughput(double bytes, double seconds);

}  // namespace tomely::bench
