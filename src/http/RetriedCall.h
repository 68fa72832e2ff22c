#pragma once

#include <functional>
#include <memory>

#include "http/RetryPolicy.h"

namespace tomely {

class HTTPRequest;

// One call to the service, made again as a new request after each failure that its RetryPolicy
// calls transient, after the policy's wait, until it is answered, fails for good or its retries
// are spent. Each wait is reported before it begins; the end is reported exactly once, with the
// last attempt's request: answeredBlock for an answer (any status the policy did not retry),
// failedBlock for no answer. After cancel(), failedBlock follows with the last attempt's request,
// whatever it says: the caller knows it cancelled.
//
// Threads: main thread only; every block runs there. Ownership: the call keeps itself alive from
// start() until its end block has returned, then lets go of its blocks.
class RetriedCall : public std::enable_shared_from_this<RetriedCall> {
public:
    // A new request for each attempt, not started.
    using MakeRequest = std::function<std::shared_ptr<HTTPRequest>()>;
    using EndBlock = std::function<void(HTTPRequest& request)>;
    // The attempt `failed` is made again once retry.delay has passed.
    using RetryBlock = std::function<void(HTTPRequest& failed, const RetryPolicy::Retry& retry)>;

    [[nodiscard]] static std::shared_ptr<RetriedCall> create(MakeRequest makeRequest, RetryPolicy policy);

    // Set before start(); each may be unset.
    void setAnsweredBlock(EndBlock block) { answeredBlock_ = std::move(block); }
    void setFailedBlock(EndBlock block) { failedBlock_ = std::move(block); }
    void setRetryBlock(RetryBlock block) { retryBlock_ = std::move(block); }

    void start();
    // The attempt under way is cancelled, or the wait for the next one ends without it.
    void cancel();

private:
    RetriedCall(MakeRequest makeRequest, RetryPolicy policy);

    void attempt();
    void attemptEnded(bool answered);
    void finish(EndBlock RetriedCall::*block);

    MakeRequest makeRequest_;
    const RetryPolicy policy_;
    EndBlock answeredBlock_;
    EndBlock failedBlock_;
    RetryBlock retryBlock_;
    std::shared_ptr<RetriedCall> self_;
    std::shared_ptr<HTTPRequest> request_;
    int attempt_ = 0;
    bool waiting_ = false;
    bool cancelled_ = false;
    bool ended_ = false;
};

}  // namespace tomely
