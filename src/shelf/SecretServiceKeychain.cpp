#include "shelf/SecretServiceKeychain.h"

#include <libsecret/secret.h>

#include <string>

#include "platform/SecretText.h"

namespace tomely {
namespace {

const SecretSchema* genericPasswordSchema() {
    static const SecretSchema schema = [] {
        SecretSchema value{};
        value.name = "org.tomely.Uploader.GenericPassword";
        value.flags = SECRET_SCHEMA_NONE;
        value.attributes[0] = {"service", SECRET_SCHEMA_ATTRIBUTE_STRING};
        value.attributes[1] = {"account", SECRET_SCHEMA_ATTRIBUTE_STRING};
        value.attributes[2] = {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING};
        return value;
    }();
    return &schema;
}

// Every failure is answered quietly, as the callers expect; the error itself is dropped here.
void dropError(GError* error) {
    if (error != nullptr) {
        g_error_free(error);
    }
}

}  // namespace

std::optional<std::string> SecretServiceKeychain::findGenericPassword(std::string_view service,
                                                                      std::string_view account) {
    const std::string serviceText(service);
    const std::string accountText(account);
    GError* error = nullptr;
    gchar* password = secret_password_lookup_sync(genericPasswordSchema(), nullptr, &error, "service",
                                                  serviceText.c_str(), "account", accountText.c_str(), nullptr);
    dropError(error);
    if (password == nullptr) {
        return std::nullopt;
    }
    std::string result(password);
    // Clears the secret's memory before freeing it.
    secret_password_free(password);
    return result;
}

bool SecretServiceKeychain::storeGenericPassword(std::string_view service, std::string_view account,
                                                 std::string_view password) {
    const std::string serviceText(service);
    const std::string accountText(account);
    const SecretText passwordText{std::string(password)};
    const std::string label = "Tomely Uploader: " + accountText;
    GError* error = nullptr;
    // The Secret Service replaces the item whose attributes match instead of adding another.
    const gboolean stored = secret_password_store_sync(
        genericPasswordSchema(), SECRET_COLLECTION_DEFAULT, label.c_str(), passwordText.text().c_str(), nullptr, &error,
        "service", serviceText.c_str(), "account", accountText.c_str(), nullptr);
    dropError(error);
    return stored != FALSE;
}

}  // namespace tomely
