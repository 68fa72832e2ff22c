#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string_view>

#include "platform/Error.h"

namespace tomely {

class HTTPRequest;

// Whether a call to the service that failed is worth another attempt, and how long to wait before
// it: one policy for every call (sign-in, list, manifest, parts).
//
// Worth another attempt (transient): no answer because the connection was refused, reset or
// lost, or because the call timed out; or an answer of 408, 429, 500, 502, 503 or 504. Anything
// else is final: any other status (a 403 on sign-in among them), a TLS failure, a cancel, an
// answer that could not be read.
//
// The wait before attempt n (2 to attempts()) is one second doubled for each attempt before it
// (1, 2, 4, 8 s), stretched by up to a quarter at random, so that clients that failed together do
// not all come back together. A "Retry-After" (seconds or an HTTP date) that asks for longer is
// honoured up to kLongestRetryAfter; one that asks for more ends the retries, and the failure is
// reported as it came, with its Retry-After.
//
// A value type: copy it freely. Its jitter and wait are meant to be replaced by tests only.
class RetryPolicy {
public:
    // What the wizard and the publisher offer unless told otherwise: five attempts in all.
    static constexpr int kRecommendedRetries = 4;
    static constexpr std::chrono::milliseconds kFirstDelay{1000};
    static constexpr std::chrono::seconds kLongestRetryAfter{60};

    // The attempt that follows a wait.
    struct Retry {
        int attempt = 0;   // 2 for the first retry
        int attempts = 0;  // in all
        std::chrono::milliseconds delay{0};
        bool operator==(const Retry&) const = default;
    };
    // A number from 0 up to (not including) 1.
    using Jitter = std::function<double()>;
    // Runs `next` on the main thread once `delay` has passed.
    using Wait = std::function<void(std::chrono::milliseconds delay, std::function<void()> next)>;

    // `retries` attempts after the first one; 0, the default: none.
    explicit RetryPolicy(int retries = 0);

    [[nodiscard]] int retries() const { return retries_; }
    // A random number by default.
    void setJitter(Jitter jitter) { jitter_ = std::move(jitter); }
    // The main loop's timer by default.
    void setWait(Wait wait) { wait_ = std::move(wait); }

    [[nodiscard]] static bool isTransient(int statusCode, const std::optional<Error>& error);

    // What follows attempt `failedAttempt` (1 for the first) of a call that failed with `error`,
    // or was answered with `statusCode` outside 200-299 and the answer's Retry-After: the next
    // attempt and the wait before it; nothing when the failure is final, no attempt is left, or the
    // service asks for a longer wait than is honoured.
    [[nodiscard]] std::optional<Retry> nextAttempt(
        int failedAttempt, int statusCode, const std::optional<Error>& error,
        std::optional<std::string_view> retryAfter,
        std::chrono::system_clock::time_point now = std::chrono::system_clock::now()) const;
    // The same for a request that has reported.
    [[nodiscard]] std::optional<Retry> nextAttempt(int failedAttempt, const HTTPRequest& request) const;
    // Runs `next` once the retry's delay has passed.
    void wait(const Retry& retry, std::function<void()> next) const;

    // "Retry-After" as a wait from `now`: delta-seconds, or an HTTP date (one that has passed is no
    // wait); nothing when it is neither.
    [[nodiscard]] static std::optional<std::chrono::seconds> parseRetryAfter(std::string_view value,
                                                                             std::chrono::system_clock::time_point now);

private:
    int retries_;
    Jitter jitter_;
    Wait wait_;
};

}  // namespace tomely
