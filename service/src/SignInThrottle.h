#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <unordered_map>

namespace tomely::shelf {

struct SignInLimits {
    // Failed sign-ins within the window, per account and per client address; beyond them an
    // attempt is refused before its password is checked.
    std::size_t perAccount = 5;
    std::size_t perAddress = 20;
    std::chrono::seconds window = std::chrono::minutes(5);
};

// Keeps password guessing, and the cost of checking each guess, within the limits. An admitted
// attempt counts as a failure until it is settled, so that attempts made at once cannot pass the
// limit together. Thread-safe.
class SignInThrottle {
public:
    using Clock = std::chrono::steady_clock;

    struct Admission {
        bool admitted = false;
        std::chrono::seconds retryAfter{0};  // when refused: until a failure leaves the window
    };

    explicit SignInThrottle(SignInLimits limits) : limits_(limits) {}

    // `email` as the client typed it (accounts compare without regard to ASCII case); `address`
    // the client's address.
    [[nodiscard]] Admission admit(const std::string& email, const std::string& address,
                                  Clock::time_point now = Clock::now());
    // Called once for each admitted attempt. A success forgets the account's failures.
    void settle(const std::string& email, const std::string& address, bool succeeded,
                Clock::time_point now = Clock::now());

private:
    struct Record {
        std::deque<Clock::time_point> failures;  // oldest first, all within the window
        std::size_t inFlight = 0;
    };
    using Records = std::unordered_map<std::string, Record>;

    // The time until the record falls below `limit`, or zero when it is below already.
    [[nodiscard]] Clock::duration wait(Record& record, std::size_t limit, Clock::time_point now) const;
    void forgetIdle(Records& records, Clock::time_point now) const;

    const SignInLimits limits_;
    std::mutex mutex_;
    Records accounts_;
    Records addresses_;
};

}  // namespace tomely::shelf
