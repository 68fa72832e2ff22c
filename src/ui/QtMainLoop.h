#pragma once

#include <mutex>
#include <thread>

#include "platform/MainLoop.h"

namespace tomely::ui {

// The main loop of a Qt application: tasks run on the GUI thread through queued invocations. It
// is made on the GUI thread and stays installed for the life of the process; once the application
// ends, close() stops every delivery, so that work still running then (extraction, fingerprinting,
// an upload being prepared) posts to nothing instead of to an application on its way out.
class QtMainLoop final : public MainLoop {
public:
    void post(Task task) override;
    void postAfter(std::chrono::nanoseconds delay, Task task) override;
    [[nodiscard]] bool isMainThread() const override;

    // Thread-safe. From now on, tasks posted are dropped where they were posted; once it has
    // returned, no task is on its way into the application's queue.
    void close();

private:
    const std::thread::id guiThread_ = std::this_thread::get_id();
    std::mutex mutex_;
    bool open_ = true;
};

}  // namespace tomely::ui
