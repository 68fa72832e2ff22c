#pragma once

#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

namespace tomely {

class HTTPRequest;

// Starts the requests added to it in the order of adding, at most `maxConcurrentOperationCount`
// at once. A request leaves the queue when it has finished (completed, failed or cancelled). The
// queue keeps itself and its requests alive until the last of them has finished. Thread-safe.
class OperationQueue : public std::enable_shared_from_this<OperationQueue> {
public:
    [[nodiscard]] static std::shared_ptr<OperationQueue> create(std::size_t maxConcurrentOperationCount);

    // With `dependency` (a request of this queue), `request` waits until that one has finished.
    void addOperation(std::shared_ptr<HTTPRequest> request, const HTTPRequest* dependency = nullptr);
    void setMaxConcurrentOperationCount(std::size_t count);
    [[nodiscard]] std::size_t maxConcurrentOperationCount() const;
    // A suspended queue starts nothing new; requests already running go on.
    void setSuspended(bool suspended);
    [[nodiscard]] bool isSuspended() const;
    // Running requests first, then waiting ones in order.
    [[nodiscard]] std::vector<std::shared_ptr<HTTPRequest>> operations() const;
    // Cancels every request of the queue; each reports its cancellation and then leaves. Waiting
    // requests leave at once: in a suspended queue nothing else would ever take them out, and each
    // holds the queue that holds it.
    void cancelAllOperations();

private:
    friend class HTTPRequest;
    explicit OperationQueue(std::size_t maxConcurrentOperationCount) : maxConcurrent_(maxConcurrentOperationCount) {}
    // Called by a request of this queue once it has finished.
    void operationDidFinish(const HTTPRequest& request);
    // Starts waiting requests while there is room; never called with the mutex held.
    void startWaitingOperations();

    mutable std::mutex mutex_;
    std::size_t maxConcurrent_;
    bool suspended_ = false;
    struct Waiting {
        std::shared_ptr<HTTPRequest> request;
        const HTTPRequest* dependency;
    };
    [[nodiscard]] bool isListed(const HTTPRequest* request) const;

    std::deque<Waiting> waiting_;
    std::vector<std::shared_ptr<HTTPRequest>> running_;
};

}  // namespace tomely
