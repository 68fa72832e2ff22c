#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tomely::test {

// Records the callbacks of a splitter or hasher as they arrive on its worker thread, and tells when
// the worker object has released its callbacks, after which no further call can come. Shared by the
// test and the callbacks, so a late call after a failed wait still finds it alive.
class CallbackLog : public std::enable_shared_from_this<CallbackLog> {
public:
    // Captured by every callback of the object under test (and by nothing else): when its last
    // copy goes, the object has released its callbacks.
    class ReleaseToken {
    public:
        explicit ReleaseToken(std::shared_ptr<CallbackLog> log) : log_(std::move(log)) {}
        ~ReleaseToken() { log_->markReleased(); }
        ReleaseToken(const ReleaseToken&) = delete;
        ReleaseToken& operator=(const ReleaseToken&) = delete;

    private:
        std::shared_ptr<CallbackLog> log_;
    };

    static std::shared_ptr<CallbackLog> create() { return std::make_shared<CallbackLog>(); }

    [[nodiscard]] std::shared_ptr<ReleaseToken> releaseToken() {
        return std::make_shared<ReleaseToken>(shared_from_this());
    }

    void record(std::string event) {
        std::scoped_lock lock(mutex_);
        events_.push_back(std::move(event));
        threads_.push_back(std::this_thread::get_id());
    }
    void keepResult(std::map<std::string, std::string> result) {
        std::scoped_lock lock(mutex_);
        result_ = std::move(result);
    }

    // Waits, up to a deadline, until the object under test has released its callbacks.
    [[nodiscard]] bool waitUntilReleased(std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [this] { return released_; });
    }

    [[nodiscard]] std::vector<std::string> events() const {
        std::scoped_lock lock(mutex_);
        return events_;
    }
    // Whether callbacks came, all on one thread, and not on the test's.
    [[nodiscard]] bool cameOnOneWorkerThread() const {
        std::scoped_lock lock(mutex_);
        return !threads_.empty() && threads_.front() != std::this_thread::get_id() &&
               std::all_of(threads_.begin(), threads_.end(), [&](auto id) { return id == threads_.front(); });
    }
    [[nodiscard]] std::map<std::string, std::string> result() const {
        std::scoped_lock lock(mutex_);
        return result_;
    }

private:
    void markReleased() {
        std::scoped_lock lock(mutex_);
        released_ = true;
        changed_.notify_all();
    }

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> events_;
    std::vector<std::thread::id> threads_;
    std::map<std::string, std::string> result_;
    bool released_ = false;
};

}  // namespace tomely::test
