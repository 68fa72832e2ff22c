#pragma once

#include <chrono>
#include <functional>

#include "http/RetryPolicy.h"
#include "platform/MainLoop.h"

namespace tomely::test {

// `retries` retries whose waits pass at once and without jitter, so that the waits reported are
// the bare doubling and a test need not wait for them.
inline RetryPolicy immediateRetries(int retries) {
    RetryPolicy policy(retries);
    policy.setJitter([] { return 0.0; });
    policy.setWait([](std::chrono::milliseconds, std::function<void()> next) { MainLoop::shared()->post(next); });
    return policy;
}

}  // namespace tomely::test
