#pragma once

#include <atomic>
#include <string_view>

#include "platform/BackgroundWork.h"
#include "platform/Error.h"

namespace tomely {

// A request to stop, raised on one thread (the main thread, answering a signal or a button) and
// checked by long loops on others between blocks, so that a stop takes effect within one block's
// time instead of at the end of a whole file. Shared by the one who raises it and the work that
// checks it; raising it twice is harmless. The end of the process (BackgroundWork::stopAll)
// raises every one at once. Thread-safe.
class Cancellation {
public:
    void cancel() { cancelled_.store(true, std::memory_order_relaxed); }
    [[nodiscard]] bool isCancelled() const {
        return cancelled_.load(std::memory_order_relaxed) || BackgroundWork::isStopping();
    }

private:
    std::atomic<bool> cancelled_{false};
};

// Whether `cancellation` is set and raised; work without one is cancelled only by the end of the
// process.
[[nodiscard]] inline bool isCancelled(const Cancellation* cancellation) {
    return cancellation != nullptr ? cancellation->isCancelled() : BackgroundWork::isStopping();
}

// The error of work that stopped because it was cancelled: ECANCELED in the POSIX domain, its
// description "<what>: Operation canceled".
[[nodiscard]] Error cancelledError(std::string_view what);
// Whether `error` is one made by cancelledError.
[[nodiscard]] bool isCancelledError(const Error& error);

}  // namespace tomely
