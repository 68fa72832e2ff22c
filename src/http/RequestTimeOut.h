#pragma once

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

}  // namespace tomely
