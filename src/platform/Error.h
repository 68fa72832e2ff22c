#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>

namespace tomely {

// User-information keys shared by every error domain.
inline constexpr std::string_view kLocalizedDescriptionKey = "NSLocalizedDescription";
inline constexpr std::string_view kFailingURLKey = "NSErrorFailingURLKey";

// The one error value of the library code. Functions that can fail take an optional `Error*`
// out-parameter (nullptr when the caller does not care) and fill it only on failure.
struct Error {
    std::string domain;
    long code = 0;
    // Values are text; numeric entries (a line number, say) hold their decimal form.
    std::map<std::string, std::string, std::less<>> userInfo;
    std::shared_ptr<const Error> underlyingError;

    static Error make(std::string domain, long code, std::string localizedDescription);

    [[nodiscard]] std::string localizedDescription() const;
    // The entry under `key`, or "" when there is none.
    [[nodiscard]] std::string userInfoValue(std::string_view key) const;
};

// Fills the caller's out-parameter, if there is one.
inline void report(Error* out, Error error) {
    if (out != nullptr) {
        *out = std::move(error);
    }
}

}  // namespace tomely
