#include "platform/Error.h"

namespace tomely {

Error Error::make(std::string domain, long code, std::string localizedDescription) {
    Error error;
    error.domain = std::move(domain);
    error.code = code;
    error.userInfo.emplace(kLocalizedDescriptionKey, std::move(localizedDescription));
    return error;
}

std::string Error::localizedDescription() const {
    if (auto it = userInfo.find(kLocalizedDescriptionKey); it != userInfo.end()) {
        return it->second;
    }
    // Mirrors the platform's fallback wording for an error without a description.
    return "The operation couldn't be completed. (" + domain + " error " + std::to_string(code) + ".)";
}

std::string Error::userInfoValue(std::string_view key) const {
    auto it = userInfo.find(key);
    return it == userInfo.end() ? std::string() : it->second;
}

}  // namespace tomely
