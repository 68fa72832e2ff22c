#pragma once

#include <map>
#include <optional>
#include <string>
#include <utility>

#include "shelf/Keychain.h"
#include "shelf/UserDefaults.h"

namespace tomely::test {

// User defaults kept in memory; `synchronizeCount` tells whether they were written out.
class MemoryUserDefaults : public UserDefaults {
public:
    [[nodiscard]] std::optional<std::string> stringForKey(std::string_view key) const override {
        auto it = values.find(key);
        return it == values.end() ? std::nullopt : std::optional(it->second);
    }
    void setString(std::string_view key, const std::string& value) override { values[std::string(key)] = value; }
    void synchronize() override { ++synchronizeCount; }

    std::map<std::string, std::string, std::less<>> values;
    int synchronizeCount = 0;
};

// A keychain in memory, one password per service and account; `reachable = false` makes every
// call fail the way an unreachable Secret Service does.
class MemoryKeychain : public Keychain {
public:
    [[nodiscard]] std::optional<std::string> findGenericPassword(std::string_view service,
                                                                 std::string_view account) override {
        auto it = items.find({std::string(service), std::string(account)});
        if (!reachable || it == items.end()) {
            return std::nullopt;
        }
        return it->second;
    }
    [[nodiscard]] bool storeGenericPassword(std::string_view service, std::string_view account,
                                            std::string_view password) override {
        if (!reachable) {
            return false;
        }
        items[{std::string(service), std::string(account)}] = std::string(password);
        return true;
    }

    std::map<std::pair<std::string, std::string>, std::string> items;
    bool reachable = true;
};

}  // namespace tomely::test
