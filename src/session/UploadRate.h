#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>

namespace tomely {

// The rate of an upload over the last few seconds, and the time it still needs. A cap on the
// sending rate bounds the estimate, so the ETA follows the cap from the first sample on, before
// the measured rate has settled.
class UploadRate {
public:
    using Clock = std::chrono::steady_clock;

    // `capBytesPerSecond` 0: no cap.
    explicit UploadRate(std::uint64_t capBytesPerSecond = 0) : cap_(capBytesPerSecond) {}

    // `sent` bytes of the upload have gone out by `now`.
    void sample(Clock::time_point now, std::int64_t sent);

    // Bytes per second; none until two samples lie apart.
    [[nodiscard]] std::optional<double> bytesPerSecond() const;
    // Seconds until `total` bytes have gone out; none without a rate.
    [[nodiscard]] std::optional<double> secondsLeft(std::int64_t total) const;

private:
    struct Sample {
        Clock::time_point time;
        std::int64_t sent;
    };
    static constexpr std::chrono::seconds kWindow{5};

    const std::uint64_t cap_;
    std::deque<Sample> samples_;
};

}  // namespace tomely
