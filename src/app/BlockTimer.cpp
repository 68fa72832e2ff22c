#include "app/BlockTimer.h"

#include "platform/MainLoop.h"

namespace tomely {

BlockTimer::BlockTimer(double seconds, bool repeats, Block block)
    : seconds_(seconds), repeats_(repeats), block_(std::move(block)) {}

std::shared_ptr<BlockTimer> BlockTimer::timerWithTimeInterval(double seconds, bool repeats, Block block) {
    return std::make_shared<BlockTimer>(seconds, repeats, std::move(block));
}

std::shared_ptr<BlockTimer> BlockTimer::scheduledTimerWithTimeInterval(double seconds, bool repeats, Block block) {
    auto timer = timerWithTimeInterval(seconds, repeats, std::move(block));
    timer->schedule();
    return timer;
}

void BlockTimer::schedule() {
    const auto delay = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::duration<double>(seconds_));
    MainLoop::shared()->postAfter(delay, [self = shared_from_this()] { self->fire(); });
}

void BlockTimer::fire() {
    if (!valid_) {
        return;
    }
    if (!repeats_) {
        valid_ = false;
    }
    block_(*this);
    if (repeats_ && valid_) {
        schedule();
    }
}

}  // namespace tomely
