#pragma once

#include <chrono>
#include <cstdint>

namespace tomely {

// Whether a request that has seen no activity for `secondsIdle` has timed out. A request with a
// body gets half as long again until more than the transport's first buffer of it has gone out:
// filling that buffer says nothing about whether the peer reads, so a body that fits in it keeps
// the longer limit for the whole exchange, the wait for the answer included.
[[nodiscard]] inline bool hasTimedOut(double secondsIdle, double timeOutSeconds, std::uint64_t postLength,
                                      std::uint64_t uploadBufferSize, std::uint64_t totalBytesSent) {
    if (timeOutSeconds <= 0 || secondsIdle <= timeOutSeconds) {
        return false;
    }
    return postLength == 0 || (uploadBufferSize > 0 && totalBytesSent > uploadBufferSize) ||
           secondsIdle > 1.5 * timeOutSeconds;
}

// Beside the time-out, which a byte now and then keeps away: whether a transfer that moves moves
// too slowly. It is too slow when fewer than `bytesPerSecond` × `seconds` bytes go in or out
// within `seconds` while it sends its body or receives its answer. The stretches in which nothing
// is meant to move (before the body goes out, while the server works on the request) are not
// watched: a silence is the time-out's to judge. Pure bookkeeping over the samples it is given.
class LowSpeedWatch {
public:
    using Clock = std::chrono::steady_clock;

    LowSpeedWatch() = default;
    // 0 bytes per second or 0 seconds: never too slow.
    LowSpeedWatch(std::uint64_t bytesPerSecond, double seconds) : bytesPerSecond_(bytesPerSecond), seconds_(seconds) {}

    // One sample at `now`: whether the transfer is `moving` (sending its body or receiving its
    // answer), and every byte it has moved so far. True once it has stayed below the rate for
    // the whole time.
    [[nodiscard]] bool isTooSlow(Clock::time_point now, bool moving, std::uint64_t bytesMoved) {
        if (bytesPerSecond_ == 0 || seconds_ <= 0 || !moving) {
            watching_ = false;
            return false;
        }
        // A new window when the transfer starts moving, and whenever the last one had its bytes.
        if (!watching_ ||
            static_cast<double>(bytesMoved - bytesAtWindowStart_) >= static_cast<double>(bytesPerSecond_) * seconds_) {
            watching_ = true;
            windowStart_ = now;
            bytesAtWindowStart_ = bytesMoved;
            return false;
        }
        return std::chrono::duration<double>(now - windowStart_).count() >= seconds_;
    }

private:
    std::uint64_t bytesPerSecond_ = 0;
    double seconds_ = 0;
    bool watching_ = false;
    Clock::time_point windowStart_;
    std::uint64_t bytesAtWindowStart_ = 0;
};

}  // namespace tomely
