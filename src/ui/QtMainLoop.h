#pragma once

#include "platform/MainLoop.h"

namespace tomely::ui {

// The main loop of a Qt application: tasks run on the GUI thread through queued invocations.
class QtMainLoop final : public MainLoop {
public:
    void post(Task task) override;
    void postAfter(std::chrono::nanoseconds delay, Task task) override;
    [[nodiscard]] bool isMainThread() const override;
};

}  // namespace tomely::ui
