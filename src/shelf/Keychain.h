#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tomely {

// Generic passwords kept for the user by the desktop, one per service and account. Calls are
// synchronous and may show the platform's unlock prompt. They fail quietly: a keychain that
// cannot be reached or stays locked is answered as "nothing found" or "not stored", and the
// password is never written anywhere else (no file, log or settings entry). Main thread only.
class Keychain {
public:
    virtual ~Keychain() = default;
    // The password kept for `service` and `account`; none when there is none or it cannot be read.
    [[nodiscard]] virtual std::optional<std::string> findGenericPassword(std::string_view service,
                                                                         std::string_view account) = 0;
    // Keeps `password` for `service` and `account`, replacing the one kept before rather than
    // adding a second item. False when it could not be stored.
    [[nodiscard]] virtual bool storeGenericPassword(std::string_view service, std::string_view account,
                                                    std::string_view password) = 0;
};

}  // namespace tomely
