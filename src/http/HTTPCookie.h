#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "http/URL.h"

namespace tomely {

// One cookie as a response set it, after the storage rules of RFC 6265 have been applied.
struct HTTPCookie {
    std::string name;
    std::string value;
    // Lower case, without a leading dot. With `hostOnly` only that exact host gets the cookie.
    std::string domain;
    std::string path;
    // Nothing for a session cookie, which lives as long as the process.
    std::optional<std::chrono::sys_seconds> expiresDate;
    bool hostOnly = true;
    bool secure = false;
    bool httpOnly = false;
    // Orders cookies of equal path length in the "Cookie" header; kept when a cookie is replaced.
    std::chrono::system_clock::time_point creationTime;

    // Cookies are the same cookie when name, domain and path agree.
    [[nodiscard]] bool sameIdentity(const HTTPCookie& other) const {
        return name == other.name && domain == other.domain && path == other.path;
    }
};

// Parses one "Set-Cookie" field received from `url` at `now`. Nothing when the field must be
// ignored: no "=", an empty name, control characters, an oversized cookie, or a "Domain" that
// does not cover the URL's host. Pure: no I/O, no clock.
[[nodiscard]] std::optional<HTTPCookie> parseSetCookieField(std::string_view field, const URL& url,
                                                            std::chrono::system_clock::time_point now);

// A cookie date (the "Expires" attribute), by the lenient algorithm of RFC 6265 section 5.1.1.
[[nodiscard]] std::optional<std::chrono::sys_seconds> parseCookieDate(std::string_view text);

// RFC 6265 section 5.1.3: `host` is `domain` or a name under it (never for IP addresses).
[[nodiscard]] bool cookieDomainMatches(std::string_view host, std::string_view domain);
// RFC 6265 section 5.1.4.
[[nodiscard]] bool cookiePathMatches(std::string_view requestPath, std::string_view cookiePath);
[[nodiscard]] std::string defaultCookiePath(std::string_view requestPath);

}  // namespace tomely
