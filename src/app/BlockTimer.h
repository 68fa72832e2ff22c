#pragma once

#include <chrono>
#include <functional>
#include <memory>

namespace tomely {

// A timer that runs a block on the main loop. A scheduled timer keeps itself alive until it has
// fired for the last time, so callers need not keep the returned reference.
class BlockTimer : public std::enable_shared_from_this<BlockTimer> {
public:
    using Block = std::function<void(BlockTimer& timer)>;

    // Creates the timer and schedules it on the main loop.
    static std::shared_ptr<BlockTimer> scheduledTimerWithTimeInterval(double seconds, bool repeats, Block block);
    // Creates the timer without scheduling it; schedule() does that later.
    static std::shared_ptr<BlockTimer> timerWithTimeInterval(double seconds, bool repeats, Block block);

    void schedule();
    [[nodiscard]] bool isValid() const { return valid_; }
    [[nodiscard]] bool repeats() const { return repeats_; }

    BlockTimer(double seconds, bool repeats, Block block);

private:
    void fire();

    const double seconds_;
    const bool repeats_;
    const Block block_;
    bool valid_ = true;
};

}  // namespace tomely
