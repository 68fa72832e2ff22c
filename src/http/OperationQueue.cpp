#include "http/OperationQueue.h"

#include <algorithm>

#include "http/HTTPRequest.h"

namespace tomely {

std::shared_ptr<OperationQueue> OperationQueue::create(std::size_t maxConcurrentOperationCount) {
    return std::shared_ptr<OperationQueue>(new OperationQueue(maxConcurrentOperationCount));
}

void OperationQueue::addOperation(std::shared_ptr<HTTPRequest> request, const HTTPRequest* dependency) {
    if (!request) {
        return;
    }
    // Set before the request is listed, and outside the queue's mutex: the request's own lock is
    // never taken while the queue's is held.
    request->setOperationQueue(shared_from_this());
    {
        std::scoped_lock lock(mutex_);
        waiting_.push_back(Waiting{std::move(request), dependency});
    }
    startWaitingOperations();
}

void OperationQueue::setMaxConcurrentOperationCount(std::size_t count) {
    {
        std::scoped_lock lock(mutex_);
        maxConcurrent_ = count;
    }
    startWaitingOperations();
}

std::size_t OperationQueue::maxConcurrentOperationCount() const {
    std::scoped_lock lock(mutex_);
    return maxConcurrent_;
}

void OperationQueue::setSuspended(bool suspended) {
    {
        std::scoped_lock lock(mutex_);
        suspended_ = suspended;
    }
    startWaitingOperations();
}

bool OperationQueue::isSuspended() const {
    std::scoped_lock lock(mutex_);
    return suspended_;
}

std::vector<std::shared_ptr<HTTPRequest>> OperationQueue::operations() const {
    std::scoped_lock lock(mutex_);
    std::vector<std::shared_ptr<HTTPRequest>> all(running_.begin(), running_.end());
    for (const Waiting& waiting : waiting_) {
        all.push_back(waiting.request);
    }
    return all;
}

void OperationQueue::cancelAllOperations() {
    std::vector<std::shared_ptr<HTTPRequest>> cancelled = operations();
    {
        std::scoped_lock lock(mutex_);
        waiting_.clear();
    }
    for (const auto& request : cancelled) {
        request->cancel();
    }
}

void OperationQueue::operationDidFinish(const HTTPRequest& request) {
    // Keeps this queue alive while it lets go of the request that may hold the last reference.
    const auto self = shared_from_this();
    std::shared_ptr<HTTPRequest> finished;
    {
        std::scoped_lock lock(mutex_);
        auto running = std::find_if(running_.begin(), running_.end(),
                                    [&request](const auto& candidate) { return candidate.get() == &request; });
        if (running != running_.end()) {
            finished = std::move(*running);
            running_.erase(running);
        }
    }
    startWaitingOperations();
}

bool OperationQueue::isListed(const HTTPRequest* request) const {
    const auto same = [request](const auto& candidate) { return candidate.get() == request; };
    return std::any_of(running_.begin(), running_.end(), same) ||
           std::any_of(waiting_.begin(), waiting_.end(),
                       [request](const Waiting& waiting) { return waiting.request.get() == request; });
}

void OperationQueue::startWaitingOperations() {
    std::vector<std::shared_ptr<HTTPRequest>> starting;
    {
        std::scoped_lock lock(mutex_);
        for (auto next = waiting_.begin(); !suspended_ && running_.size() < maxConcurrent_ && next != waiting_.end();) {
            if (next->dependency != nullptr && isListed(next->dependency)) {
                ++next;
                continue;
            }
            running_.push_back(next->request);
            starting.push_back(std::move(next->request));
            next = waiting_.erase(next);
        }
    }
    for (const auto& request : starting) {
        request->start();
    }
}

}  // namespace tomely
