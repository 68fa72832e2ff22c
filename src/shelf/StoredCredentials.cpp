#include "shelf/StoredCredentials.h"

#include "platform/UTF8.h"

namespace tomely {

void saveCredentials(CredentialStores stores, const std::string& email, std::string_view password) {
    // The keychain fails quietly (unreachable, or its unlock prompt dismissed); the sign-in goes on.
    (void)stores.keychain.storeGenericPassword(kKeychainServiceName, email, password);
    stores.userDefaults.setString(kLastEmailDefaultsKey, email);
    stores.userDefaults.synchronize();
}

std::optional<std::string> lastEmail(const UserDefaults& userDefaults) {
    return userDefaults.stringForKey(kLastEmailDefaultsKey);
}

std::optional<std::string> storedPassword(Keychain& keychain, std::string_view email) {
    std::optional<std::string> password = keychain.findGenericPassword(kKeychainServiceName, email);
    // Only text that decodes as UTF-8 is a password the form can show.
    if (password && !utf8::isValid(*password)) {
        return std::nullopt;
    }
    return password;
}

}  // namespace tomely
