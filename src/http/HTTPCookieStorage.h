#pragma once

#include <chrono>
#include <mutex>
#include <string>
#include <vector>

#include "http/HTTPCookie.h"
#include "http/URL.h"

namespace tomely {

// The process-wide cookie store (RFC 6265 matching by domain, path, secure and expiry). Kept in
// memory only: the session cookies of the sign-in answer live exactly as long as the run.
// Thread-safe: the network thread stores and reads cookies while tests inspect them.
class HTTPCookieStorage {
public:
    [[nodiscard]] static HTTPCookieStorage& sharedHTTPCookieStorage();

    // The cookies to send to `url`, in "Cookie" header order: longer paths first, then older
    // cookies first. Expired cookies are dropped on the way.
    [[nodiscard]] std::vector<HTTPCookie> cookiesForURL(const URL& url);
    // Stores the cookies of a response from `url`. A cookie replaces the one with the same name,
    // domain and path (keeping its creation time); an already expired one only removes it.
    void setCookies(const std::vector<HTTPCookie>& cookies, const URL& url);
    // Parses the "Set-Cookie" fields of a response from `url`; the cookies worth keeping.
    [[nodiscard]] static std::vector<HTTPCookie> cookiesWithResponseHeaderFields(
        const std::vector<std::string>& setCookieFields, const URL& url);

    [[nodiscard]] std::vector<HTTPCookie> cookies();
    void deleteAllCookies();

    // The "Cookie" header value for `cookies`: "a=1; b=2".
    [[nodiscard]] static std::string cookieHeaderValue(const std::vector<HTTPCookie>& cookies);

private:
    void removeExpired(std::chrono::system_clock::time_point now);

    std::mutex mutex_;
    std::vector<HTTPCookie> cookies_;
};

}  // namespace tomely
