#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>

namespace tomely {

// What a main loop runs, in order, except while a modal session is open: then it holds every task
// (reports, timers, clean-ups) and runs them, still in order, once the last session has ended. A
// modal alert is the one thing that changes the window while it is up. Main thread only.
class ModalDelivery {
public:
    using Task = std::function<void()>;

    // Runs `task` now, or holds it behind the tasks held before it.
    void deliver(Task task);
    void beginSession() { ++sessions_; }
    // Answers whether tasks are held and no session is left, so that a delivery must come to run them.
    [[nodiscard]] bool endSession();
    [[nodiscard]] std::size_t heldTaskCount() const { return held_.size(); }

private:
    void runHeld();

    int sessions_ = 0;
    std::deque<Task> held_;
};

// The main thread's event loop. Everything visible, every timer and every report of the HTTP
// client runs on it. The application installs a Qt binding; tests and tools install an EventLoop.
class MainLoop {
public:
    using Task = std::function<void()>;

    virtual ~MainLoop() = default;

    // Thread-safe. Runs `task` on the main thread after everything posted before it. A loop that
    // has ended drops it (see each loop): work still running then has nobody left to report to.
    virtual void post(Task task) = 0;
    // Thread-safe. Runs `task` on the main thread once `delay` has passed.
    virtual void postAfter(std::chrono::nanoseconds delay, Task task) = 0;
    [[nodiscard]] virtual bool isMainThread() const = 0;

    // Main thread only. While a session is open (a modal alert is up) the loop runs nothing posted
    // to it; what came meanwhile runs in order after the last session has ended.
    void beginModalSession() { delivery_->beginSession(); }
    void endModalSession();
    // Main thread only. The tasks waiting for the modal sessions to end.
    [[nodiscard]] std::size_t heldTaskCount() const { return delivery_->heldTaskCount(); }

    // The installed loop. Aborts with a message when none is installed: a report with nowhere
    // to go is a programming error, not a condition to recover from. Safe to call from any thread
    // until the process has ended, also after main() has returned.
    [[nodiscard]] static std::shared_ptr<MainLoop> shared();
    // The installed loop, or nullptr when none is (as while a test takes its loop down).
    [[nodiscard]] static std::shared_ptr<MainLoop> installed();
    // Replaces the process's main loop; tasks already posted to the previous one stay there.
    static void install(std::shared_ptr<MainLoop> loop);

protected:
    // Loops run each task through here, on the main thread. Tasks hold the delivery, so it may
    // outlive the loop.
    [[nodiscard]] const std::shared_ptr<ModalDelivery>& delivery() const { return delivery_; }

private:
    const std::shared_ptr<ModalDelivery> delivery_ = std::make_shared<ModalDelivery>();
};

// Keeps a modal session open on the main loop for its lifetime. Main thread only.
class ModalSession {
public:
    ModalSession() : loop_(MainLoop::shared()) { loop_->beginModalSession(); }
    ~ModalSession() { loop_->endModalSession(); }
    ModalSession(const ModalSession&) = delete;
    ModalSession& operator=(const ModalSession&) = delete;

private:
    std::shared_ptr<MainLoop> loop_;
};

}  // namespace tomely
