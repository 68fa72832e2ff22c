#pragma once

#include "shelf/Keychain.h"

namespace tomely {

// The keychain of the freedesktop Secret Service (GNOME Keyring, KWallet) through libsecret, in
// the user's default collection. An item is found by its "service" and "account" attributes.
class SecretServiceKeychain final : public Keychain {
public:
    [[nodiscard]] std::optional<std::string> findGenericPassword(std::string_view service,
                                                                 std::string_view account) override;
    [[nodiscard]] bool storeGenericPassword(std::string_view service, std::string_view account,
                                            std::string_view password) override;
};

}  // namespace tomely
