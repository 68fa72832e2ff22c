#pragma once

#include <map>
#include <optional>
#include <string>
#include <utility>

#include "shelf/Keychain.h"
#include "shelf/UserDefaults.h"

namespace tomely::test {

// User defaults kept in memory.
class MemoryUserDefaults : public UserDefaults {
public:
    [[nodiscard]] std::optional<std::string> stringForKey(std::string_view key) const override {
        auto it = values.find(key);
        return it == values.end() ? std::nullopt : std::optional(it->second);
    }
    void setString(std::string_view key, const std::string& value) override { values[std::string(key)] = value; }
    void synchronize() override {}

    std::map<std::string, std::string, std::less<>> values;
};

// A keychain in memory, one password per service and account.
class MemoryKeychain : public Keychain {
public:
    [[nodiscard]] std::optional<std::string> findGenericPassword(std::string_view service,
                                                                 std::string_view account) override {
        auto it = items.find({std::string(service), std::string(account)});
        return it == items.end() ? std::nullopt : std::optional(it->second);
    }
    [[nodiscard]] bool storeGenericPassword(std::string_view service, std::string_view account,
                                            std::string_view password) override {
        items[{std::string(service), std::string(account)}] = std::string(password);
        return true;
    }

    std::map<std::pair<std::string, std::string>, std::string> items;
};

}  // namespace tomely::test
