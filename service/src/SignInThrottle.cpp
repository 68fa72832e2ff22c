#include "SignInThrottle.h"

#include <algorithm>

namespace tomely::shelf {

namespace {

// Beyond this many records, the ones without recent failures are dropped at the next call, so an
// attacker trying many names or addresses cannot grow the tables without end.
constexpr std::size_t kRecordsBeforeSweep = 4096;

std::string accountKey(const std::string& email) {
    std::string key = email;
    std::transform(key.begin(), key.end(), key.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    return key;
}

}  // namespace

SignInThrottle::Clock::duration SignInThrottle::wait(Record& record, std::size_t limit, Clock::time_point now) const {
    while (!record.failures.empty() && record.failures.front() + limits_.window <= now) {
        record.failures.pop_front();
    }
    if (record.failures.size() + record.inFlight < limit) {
        return Clock::duration::zero();
    }
    // Attempts still being checked fill the limit: one of them may fail, and then stays.
    return record.failures.empty() ? limits_.window : record.failures.front() + limits_.window - now;
}

void SignInThrottle::forgetIdle(Records& records, Clock::time_point now) const {
    if (records.size() < kRecordsBeforeSweep) {
        return;
    }
    std::erase_if(records, [&](const auto& entry) {
        const Record& record = entry.second;
        return record.inFlight == 0 && (record.failures.empty() || record.failures.back() + limits_.window <= now);
    });
}

SignInThrottle::Admission SignInThrottle::admit(const std::string& email, const std::string& address,
                                                Clock::time_point now) {
    std::scoped_lock lock(mutex_);
    forgetIdle(accounts_, now);
    forgetIdle(addresses_, now);
    Record& account = accounts_[accountKey(email)];
    Record& client = addresses_[address];
    const auto longest = std::max(wait(account, limits_.perAccount, now), wait(client, limits_.perAddress, now));
    if (longest > Clock::duration::zero()) {
        return {false, std::max(std::chrono::seconds(1), std::chrono::ceil<std::chrono::seconds>(longest))};
    }
    ++account.inFlight;
    ++client.inFlight;
    return {true, {}};
}

void SignInThrottle::settle(const std::string& email, const std::string& address, bool succeeded,
                            Clock::time_point now) {
    std::scoped_lock lock(mutex_);
    Record& account = accounts_[accountKey(email)];
    Record& client = addresses_[address];
    --account.inFlight;
    --client.inFlight;
    if (succeeded) {
        account.failures.clear();
        return;
    }
    account.failures.push_back(now);
    client.failures.push_back(now);
}

}  // namespace tomely::shelf
