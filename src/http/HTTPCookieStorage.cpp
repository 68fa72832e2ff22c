#include "http/HTTPCookieStorage.h"

#include <algorithm>

namespace tomely {
namespace {

// Limits of RFC 6265 section 6.1, so that a server cannot grow the store without end.
constexpr std::size_t kCookiesPerDomain = 50;
constexpr std::size_t kCookiesInTotal = 3000;

bool isExpired(const HTTPCookie& cookie, std::chrono::system_clock::time_point now) {
    return cookie.expiresDate && *cookie.expiresDate <= std::chrono::floor<std::chrono::seconds>(now);
}

// Drops the oldest cookies matching `belongs` until at most `limit` remain.
template <typename Predicate>
void evictOldest(std::vector<HTTPCookie>& cookies, std::size_t limit, Predicate belongs) {
    auto count = static_cast<std::size_t>(std::count_if(cookies.begin(), cookies.end(), belongs));
    while (count > limit) {
        auto oldest = cookies.end();
        for (auto it = cookies.begin(); it != cookies.end(); ++it) {
            if (belongs(*it) && (oldest == cookies.end() || it->creationTime < oldest->creationTime)) {
                oldest = it;
            }
        }
        cookies.erase(oldest);
        --count;
    }
}

}  // namespace

HTTPCookieStorage& HTTPCookieStorage::sharedHTTPCookieStorage() {
    static HTTPCookieStorage storage;
    return storage;
}

std::vector<HTTPCookie> HTTPCookieStorage::cookiesForURL(const URL& url) {
    std::vector<HTTPCookie> matching;
    if (!url.isValid()) {
        return matching;
    }
    const bool secureScheme = url.scheme() == "https";
    {
        std::scoped_lock lock(mutex_);
        removeExpired(std::chrono::system_clock::now());
        for (const HTTPCookie& cookie : cookies_) {
            const bool domainOk =
                cookie.hostOnly ? url.host() == cookie.domain : cookieDomainMatches(url.host(), cookie.domain);
            if (domainOk && cookiePathMatches(url.path(), cookie.path) && (!cookie.secure || secureScheme)) {
                matching.push_back(cookie);
            }
        }
    }
    std::stable_sort(matching.begin(), matching.end(), [](const HTTPCookie& a, const HTTPCookie& b) {
        if (a.path.size() != b.path.size()) {
            return a.path.size() > b.path.size();
        }
        return a.creationTime < b.creationTime;
    });
    return matching;
}

void HTTPCookieStorage::setCookies(const std::vector<HTTPCookie>& cookies, const URL& url) {
    if (!url.isValid()) {
        return;
    }
    const auto now = std::chrono::system_clock::now();
    std::scoped_lock lock(mutex_);
    for (HTTPCookie cookie : cookies) {
        auto existing = std::find_if(cookies_.begin(), cookies_.end(),
                                     [&cookie](const HTTPCookie& stored) { return stored.sameIdentity(cookie); });
        if (existing != cookies_.end()) {
            cookie.creationTime = existing->creationTime;
            cookies_.erase(existing);
        }
        if (isExpired(cookie, now)) {
            continue;
        }
        const std::string domain = cookie.domain;
        cookies_.push_back(std::move(cookie));
        evictOldest(cookies_, kCookiesPerDomain, [&domain](const HTTPCookie& c) { return c.domain == domain; });
        evictOldest(cookies_, kCookiesInTotal, [](const HTTPCookie&) { return true; });
    }
}

std::vector<HTTPCookie> HTTPCookieStorage::cookiesWithResponseHeaderFields(
    const std::vector<std::string>& setCookieFields, const URL& url) {
    std::vector<HTTPCookie> cookies;
    auto now = std::chrono::system_clock::now();
    for (const std::string& field : setCookieFields) {
        if (auto cookie = parseSetCookieField(field, url, now)) {
            cookies.push_back(std::move(*cookie));
            // Distinct creation times keep the order of the fields in the "Cookie" header.
            now += std::chrono::microseconds(1);
        }
    }
    return cookies;
}

std::vector<HTTPCookie> HTTPCookieStorage::cookies() {
    std::scoped_lock lock(mutex_);
    return cookies_;
}

void HTTPCookieStorage::deleteAllCookies() {
    std::scoped_lock lock(mutex_);
    cookies_.clear();
}

std::string HTTPCookieStorage::cookieHeaderValue(const std::vector<HTTPCookie>& cookies) {
    std::string value;
    for (const HTTPCookie& cookie : cookies) {
        if (!value.empty()) {
            value += "; ";
        }
        value += cookie.name;
        value += '=';
        value += cookie.value;
    }
    return value;
}

void HTTPCookieStorage::removeExpired(std::chrono::system_clock::time_point now) {
    std::erase_if(cookies_, [now](const HTTPCookie& cookie) { return isExpired(cookie, now); });
}

}  // namespace tomely
