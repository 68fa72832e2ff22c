#include "platform/MainLoop.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace tomely {
namespace {

struct InstalledLoop {
    std::mutex mutex;
    std::shared_ptr<MainLoop> loop;
};

// Never destroyed: detached workers (extraction, fingerprinting, an upload's preparation) may
// still report after main() has returned, while the process's statics are being destroyed.
InstalledLoop& installedLoop() {
    static auto* const installed = new InstalledLoop;
    return *installed;
}

}  // namespace

void ModalDelivery::deliver(Task task) {
    if (sessions_ > 0 || !held_.empty()) {
        // Behind what is held, so that nothing overtakes it.
        held_.push_back(std::move(task));
        runHeld();
        return;
    }
    task();
}

bool ModalDelivery::endSession() {
    --sessions_;
    return sessions_ == 0 && !held_.empty();
}

void ModalDelivery::runHeld() {
    // A task may open a session of its own (an alert); the rest then waits for that one.
    while (sessions_ == 0 && !held_.empty()) {
        Task task = std::move(held_.front());
        held_.pop_front();
        task();
    }
}

void MainLoop::endModalSession() {
    if (delivery_->endSession()) {
        // The held tasks run from the loop, not inside whoever closed the alert.
        post([] {});
    }
}

std::shared_ptr<MainLoop> MainLoop::shared() {
    InstalledLoop& installed = installedLoop();
    std::scoped_lock lock(installed.mutex);
    if (!installed.loop) {
        std::fputs("tomely: no main loop installed\n", stderr);
        std::abort();
    }
    return installed.loop;
}

std::shared_ptr<MainLoop> MainLoop::installed() {
    InstalledLoop& installed = installedLoop();
    std::scoped_lock lock(installed.mutex);
    return installed.loop;
}

void MainLoop::install(std::shared_ptr<MainLoop> loop) {
    InstalledLoop& installed = installedLoop();
    std::scoped_lock lock(installed.mutex);
    installed.loop = std::move(loop);
}

}  // namespace tomely
