#pragma once

#include <chrono>
#include <functional>
#include <memory>

namespace tomely {

// The main thread's event loop. Everything visible, every timer and every report of the HTTP
// client runs on it. The application installs a Qt binding; tests and tools install an EventLoop.
class MainLoop {
public:
    using Task = std::function<void()>;

    virtual ~MainLoop() = default;

    // Thread-safe. Runs `task` on the main thread after everything posted before it.
    virtual void post(Task task) = 0;
    // Thread-safe. Runs `task` on the main thread once `delay` has passed.
    virtual void postAfter(std::chrono::nanoseconds delay, Task task) = 0;
    [[nodiscard]] virtual bool isMainThread() const = 0;

    // The installed loop. Aborts with a message when none is installed: a report with nowhere
    // to go is a programming error, not a condition to recover from.
    [[nodiscard]] static std::shared_ptr<MainLoop> shared();
    // Replaces the process's main loop; tasks already posted to the previous one stay there.
    static void install(std::shared_ptr<MainLoop> loop);
};

}  // namespace tomely
