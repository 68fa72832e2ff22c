#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "platform/MainLoop.h"

namespace tomely::test {

// A main loop whose clock moves only when the test moves it, so that a timer's interval is seen
// exactly: a task posted for later runs once advance() has carried the clock to its due time, and
// never before. Tasks posted for now run on runReady() and within advance(). The thread that
// constructs it is its main thread.
class FakeClockLoop final : public MainLoop {
public:
    void post(Task task) override {
        std::scoped_lock lock(mutex_);
        ready_.push_back(std::move(task));
    }
    void postAfter(std::chrono::nanoseconds delay, Task task) override {
        std::scoped_lock lock(mutex_);
        timed_.push_back({now_ + delay, nextSequence_++, std::move(task)});
    }
    [[nodiscard]] bool isMainThread() const override { return std::this_thread::get_id() == mainThread_; }

    // Runs every task due now, those they post included.
    void runReady() {
        while (Task task = take()) {
            delivery()->deliver(std::move(task));
        }
    }
    // Moves the clock on by `step`, running each timed task at its due time, in order.
    void advance(std::chrono::nanoseconds step) {
        const std::chrono::nanoseconds until = now_ + step;
        runReady();
        while (Task task = takeTimedDueBy(until)) {
            delivery()->deliver(std::move(task));
            runReady();
        }
        std::scoped_lock lock(mutex_);
        now_ = until;
    }

private:
    struct Timed {
        std::chrono::nanoseconds due;
        std::uint64_t sequence;
        Task task;
    };

    Task take() {
        std::scoped_lock lock(mutex_);
        if (ready_.empty()) {
            return {};
        }
        Task task = std::move(ready_.front());
        ready_.pop_front();
        return task;
    }
    // The earliest timed task due by `until`, with the clock set to its due time.
    Task takeTimedDueBy(std::chrono::nanoseconds until) {
        std::scoped_lock lock(mutex_);
        auto earliest = timed_.end();
        for (auto it = timed_.begin(); it != timed_.end(); ++it) {
            if (it->due <= until && (earliest == timed_.end() || it->due < earliest->due ||
                                     (it->due == earliest->due && it->sequence < earliest->sequence))) {
                earliest = it;
            }
        }
        if (earliest == timed_.end()) {
            return {};
        }
        now_ = earliest->due;
        Task task = std::move(earliest->task);
        timed_.erase(earliest);
        return task;
    }

    const std::thread::id mainThread_ = std::this_thread::get_id();
    std::mutex mutex_;
    std::deque<Task> ready_;
    std::vector<Timed> timed_;
    std::chrono::nanoseconds now_{0};
    std::uint64_t nextSequence_ = 0;
};

}  // namespace tomely::test
