#include "http/RetriedCall.h"

#include "http/HTTPRequest.h"
#include "platform/MainLoop.h"

namespace tomely {

std::shared_ptr<RetriedCall> RetriedCall::create(MakeRequest makeRequest, RetryPolicy policy) {
    return std::shared_ptr<RetriedCall>(new RetriedCall(std::move(makeRequest), std::move(policy)));
}

RetriedCall::RetriedCall(MakeRequest makeRequest, RetryPolicy policy)
    : makeRequest_(std::move(makeRequest)), policy_(std::move(policy)) {}

void RetriedCall::start() {
    self_ = shared_from_this();
    attempt();
}

void RetriedCall::attempt() {
    ++attempt_;
    request_ = makeRequest_();
    const std::weak_ptr<RetriedCall> weak = weak_from_this();
    request_->setCompletionBlock([weak] {
        if (auto self = weak.lock()) {
            self->attemptEnded(true);
        }
    });
    request_->setFailedBlock([weak] {
        if (auto self = weak.lock()) {
            self->attemptEnded(false);
        }
    });
    request_->startAsynchronous();
}

void RetriedCall::attemptEnded(bool answered) {
    if (ended_) {
        return;
    }
    const auto retry = cancelled_ ? std::nullopt : policy_.nextAttempt(attempt_, *request_);
    if (!retry) {
        finish(answered && !cancelled_ ? &RetriedCall::answeredBlock_ : &RetriedCall::failedBlock_);
        return;
    }
    waiting_ = true;
    if (retryBlock_) {
        retryBlock_(*request_, *retry);
    }
    policy_.wait(*retry, [weak = weak_from_this()] {
        auto self = weak.lock();
        if (self && self->waiting_ && !self->ended_) {
            self->waiting_ = false;
            self->attempt();
        }
    });
}

void RetriedCall::cancel() {
    if (!self_ || cancelled_ || ended_) {
        return;
    }
    cancelled_ = true;
    if (!waiting_) {
        request_->cancel();
        return;
    }
    waiting_ = false;
    // Not from inside the caller's cancel: the end may release whoever called.
    MainLoop::shared()->post([self = shared_from_this()] { self->finish(&RetriedCall::failedBlock_); });
}

void RetriedCall::finish(EndBlock RetriedCall::*block) {
    if (ended_) {
        return;
    }
    ended_ = true;
    const EndBlock end = std::move(this->*block);
    const std::shared_ptr<HTTPRequest> last = request_;
    // No attempt follows: what it would have been made from (a password, say) goes first.
    makeRequest_ = nullptr;
    if (end) {
        end(*last);
    }
    // Blocks may hold whoever holds this call; the last reference may be self_.
    answeredBlock_ = nullptr;
    failedBlock_ = nullptr;
    retryBlock_ = nullptr;
    const std::shared_ptr<RetriedCall> keepUntilReturn = std::move(self_);
}

}  // namespace tomely
