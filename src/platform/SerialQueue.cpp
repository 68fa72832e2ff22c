#include "platform/SerialQueue.h"

#include <thread>

#include "platform/BackgroundWork.h"

namespace tomely {

std::shared_ptr<SerialQueue> SerialQueue::create(std::string name) {
    return std::shared_ptr<SerialQueue>(new SerialQueue(std::move(name)));
}

void SerialQueue::addOperation(Operation operation) {
    std::scoped_lock lock(mutex_);
    pending_.push_back(std::move(operation));
    if (!workerRunning_) {
        workerRunning_ = true;
        // Detached: the thread owns a reference to the queue and ends once the queue is empty,
        // so nobody has to join it and dropping the queue never blocks. Counted, so that the end
        // of the process can wait for it.
        std::thread([self = shared_from_this(), counted = BackgroundWork::Scope()]() mutable {
            self->drain();
            // Let go of while still counted: what the last operations held may be let go of here.
            self.reset();
        }).detach();
    }
}

void SerialQueue::drain() {
    for (;;) {
        Operation operation;
        {
            std::scoped_lock lock(mutex_);
            if (pending_.empty()) {
                workerRunning_ = false;
                idle_.notify_all();
                return;
            }
            operation = std::move(pending_.front());
        }
        operation();
        std::scoped_lock lock(mutex_);
        // Popped only after running, so waitUntilAllOperationsAreFinished() waits for the one in
        // progress too.
        pending_.pop_front();
    }
}

void SerialQueue::waitUntilAllOperationsAreFinished() {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return !workerRunning_; });
}

}  // namespace tomely
