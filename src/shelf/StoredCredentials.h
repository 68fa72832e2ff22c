#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "shelf/Keychain.h"
#include "shelf/UserDefaults.h"

namespace tomely {

// Where the author's last sign-in is remembered: the e-mail address in the user defaults, the
// password in the keychain under this service and the address as account.
inline constexpr std::string_view kLastEmailDefaultsKey = "lastEmail";
inline constexpr std::string_view kKeychainServiceName = "Tomely_uploader";

struct CredentialStores {
    UserDefaults& userDefaults;
    Keychain& keychain;
};

// Remembers the credentials as typed, before the service has judged them, so that even rejected
// ones come back next time: the password in the keychain (a failure there is ignored), then the
// address under "lastEmail", written out at once.
void saveCredentials(CredentialStores stores, const std::string& email, std::string_view password);

// The address of the last sign-in; none on a first run.
[[nodiscard]] std::optional<std::string> lastEmail(const UserDefaults& userDefaults);

// The password kept for `email`; none when the keychain has none or cannot be read.
[[nodiscard]] std::optional<std::string> storedPassword(Keychain& keychain, std::string_view email);

}  // namespace tomely
