#include "platform/BackgroundWork.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <mutex>

namespace tomely {
namespace {

// Never destroyed: workers may still count themselves out while the process's statics go.
struct Workers {
    std::mutex mutex;
    std::condition_variable ended;
    std::size_t running = 0;
};

Workers& workers() {
    static auto* const all = new Workers;
    return *all;
}

std::atomic<bool> stopping{false};

}  // namespace

BackgroundWork::Scope::Scope() {
    Workers& all = workers();
    std::scoped_lock lock(all.mutex);
    ++all.running;
}

BackgroundWork::Scope::Scope(Scope&& other) noexcept : counted_(other.counted_) {
    other.counted_ = false;
}

BackgroundWork::Scope::~Scope() {
    if (!counted_) {
        return;
    }
    Workers& all = workers();
    std::scoped_lock lock(all.mutex);
    --all.running;
    all.ended.notify_all();
}

bool BackgroundWork::stopAll(std::chrono::milliseconds grace) {
    stopping.store(true, std::memory_order_relaxed);
    Workers& all = workers();
    std::unique_lock lock(all.mutex);
    return all.ended.wait_for(lock, grace, [&all] { return all.running == 0; });
}

bool BackgroundWork::isStopping() {
    return stopping.load(std::memory_order_relaxed);
}

}  // namespace tomely
