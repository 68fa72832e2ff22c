#include "platform/EventLoop.h"

namespace tomely {

EventLoop::EventLoop() : mainThread_(std::this_thread::get_id()) {}

void EventLoop::post(Task task) {
    {
        std::scoped_lock lock(mutex_);
        ready_.push_back(std::move(task));
    }
    wake_.notify_one();
}

void EventLoop::postAfter(std::chrono::nanoseconds delay, Task task) {
    {
        std::scoped_lock lock(mutex_);
        timed_.push(
            Timed{Clock::now() + std::chrono::duration_cast<Clock::duration>(delay), nextSequence_++, std::move(task)});
    }
    wake_.notify_one();
}

bool EventLoop::isMainThread() const {
    return std::this_thread::get_id() == mainThread_;
}

EventLoop::Task EventLoop::nextTask(Clock::time_point deadline) {
    std::unique_lock lock(mutex_);
    for (;;) {
        const auto now = Clock::now();
        while (!timed_.empty() && timed_.top().due <= now) {
            // priority_queue::top is const; the task is moved out just before pop discards it.
            ready_.push_back(std::move(const_cast<Timed&>(timed_.top()).task));
            timed_.pop();
        }
        if (!ready_.empty()) {
            Task task = std::move(ready_.front());
            ready_.pop_front();
            return task;
        }
        if (quitRequested_ || now >= deadline) {
            return {};
        }
        auto wakeAt = deadline;
        if (!timed_.empty() && timed_.top().due < wakeAt) {
            wakeAt = timed_.top().due;
        }
        if (wakeAt == Clock::time_point::max()) {
            wake_.wait(lock);
        } else {
            wake_.wait_until(lock, wakeAt);
        }
    }
}

bool EventLoop::runUntil(const std::function<bool()>& done, Clock::duration timeout) {
    const auto deadline = Clock::now() + timeout;
    while (!done()) {
        Task task = nextTask(deadline);
        if (!task) {
            return done();
        }
        delivery()->deliver(std::move(task));
    }
    return true;
}

void EventLoop::run() {
    {
        std::scoped_lock lock(mutex_);
        quitRequested_ = false;
    }
    for (;;) {
        Task task = nextTask(Clock::time_point::max());
        if (!task) {
            return;
        }
        delivery()->deliver(std::move(task));
    }
}

void EventLoop::quit() {
    {
        std::scoped_lock lock(mutex_);
        quitRequested_ = true;
    }
    wake_.notify_one();
}

}  // namespace tomely
