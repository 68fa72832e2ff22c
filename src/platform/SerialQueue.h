#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace tomely {

// Runs operations one at a time, in the order they were added, on a worker thread of its own.
// The queue keeps itself alive until its last operation has run, so a creator may drop its
// reference right after adding work: the splitter, the hasher and the uploader rely on that.
class SerialQueue : public std::enable_shared_from_this<SerialQueue> {
public:
    using Operation = std::function<void()>;

    [[nodiscard]] static std::shared_ptr<SerialQueue> create(std::string name);

    // Thread-safe; returns at once.
    void addOperation(Operation operation);
    // Blocks until every operation added so far has run. Not to be called from an operation.
    void waitUntilAllOperationsAreFinished();
    [[nodiscard]] const std::string& name() const { return name_; }

private:
    explicit SerialQueue(std::string name) : name_(std::move(name)) {}
    // Runs on the worker thread, which holds a strong reference for as long as work remains.
    void drain();

    const std::string name_;
    mutable std::mutex mutex_;
    std::condition_variable idle_;
    std::deque<Operation> pending_;
    bool workerRunning_ = false;
};

}  // namespace tomely
