#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <queue>
#include <thread>
#include <vector>

#include "platform/MainLoop.h"

namespace tomely {

// A small main loop of our own for tests and command-line tools. The thread that constructs it
// is its main thread, and only that thread may run it.
class EventLoop final : public MainLoop {
public:
    using Clock = std::chrono::steady_clock;

    EventLoop();

    void post(Task task) override;
    void postAfter(std::chrono::nanoseconds delay, Task task) override;
    [[nodiscard]] bool isMainThread() const override;

    // Runs tasks until `done` answers true (checked after every task) or `timeout` has passed.
    // Answers whether `done` became true: tests wait on events with a deadline, never by sleeping.
    bool runUntil(const std::function<bool()>& done, Clock::duration timeout);
    // Runs tasks until quit() is called.
    void run();
    // Thread-safe.
    void quit();

private:
    struct Timed {
        Clock::time_point due;
        std::uint64_t sequence;
        Task task;
        bool operator>(const Timed& other) const {
            return due != other.due ? due > other.due : sequence > other.sequence;
        }
    };

    // Takes the next task that is ready, waiting at most until `deadline`; empty when none came.
    Task nextTask(Clock::time_point deadline);

    const std::thread::id mainThread_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Task> ready_;
    std::priority_queue<Timed, std::vector<Timed>, std::greater<>> timed_;
    std::uint64_t nextSequence_ = 0;
    bool quitRequested_ = false;
};

}  // namespace tomely
