#include "http/HTTPCookie.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>

#include "http/HTTPHeaders.h"

namespace tomely {
namespace {

using std::chrono::sys_seconds;

// RFC 6265 asks user agents to keep cookies of at least this size; larger ones are refused.
constexpr std::size_t kLargestCookie = 4096;
// Expiry dates are kept within the years 1601 to 9999.
constexpr std::int64_t kLatestExpiry = 253402300799;  // 9999-12-31 23:59:59 UTC

bool isWhiteSpace(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isWhiteSpace(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isWhiteSpace(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

bool hasControlCharacter(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return (byte < 0x20 && byte != '\t') || byte == 0x7F;
    });
}

std::string lowered(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return result;
}

bool isIPAddress(std::string_view host) {
    if (host.find(':') != std::string_view::npos || (!host.empty() && host.front() == '[')) {
        return true;
    }
    return !host.empty() &&
           std::all_of(host.begin(), host.end(), [](char c) { return (c >= '0' && c <= '9') || c == '.'; });
}

bool isDateDelimiter(unsigned char c) {
    return c == 0x09 || (c >= 0x20 && c <= 0x2F) || (c >= 0x3B && c <= 0x40) || (c >= 0x5B && c <= 0x60) ||
           (c >= 0x7B && c <= 0x7E);
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// 1*2DIGIT (or `minDigits`*`maxDigits`) at the front, then anything but a digit.
std::optional<int> leadingNumber(std::string_view token, std::size_t minDigits, std::size_t maxDigits) {
    std::size_t count = 0;
    int number = 0;
    while (count < token.size() && isDigit(token[count])) {
        if (count == maxDigits) {
            return std::nullopt;
        }
        number = number * 10 + (token[count] - '0');
        ++count;
    }
    if (count < minDigits) {
        return std::nullopt;
    }
    return number;
}

// hms-time = time-field ":" time-field ":" time-field, then anything but a digit.
bool parseTime(std::string_view token, int& hour, int& minute, int& second) {
    std::array<int, 3> fields{};
    for (std::size_t i = 0; i < fields.size(); ++i) {
        std::size_t count = 0;
        int number = 0;
        while (count < token.size() && count < 2 && isDigit(token[count])) {
            number = number * 10 + (token[count] - '0');
            ++count;
        }
        if (count == 0) {
            return false;
        }
        token.remove_prefix(count);
        fields[i] = number;
        if (i < 2) {
            if (token.empty() || token.front() != ':') {
                return false;
            }
            token.remove_prefix(1);
        } else if (!token.empty() && isDigit(token.front())) {
            return false;
        }
    }
    hour = fields[0];
    minute = fields[1];
    second = fields[2];
    return true;
}

std::optional<int> parseMonth(std::string_view token) {
    static constexpr std::array<std::string_view, 12> kMonths = {"jan", "feb", "mar", "apr", "may", "jun",
                                                                 "jul", "aug", "sep", "oct", "nov", "dec"};
    if (token.size() < 3) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < kMonths.size(); ++i) {
        if (equalsIgnoringCase(token.substr(0, 3), kMonths[i])) {
            return static_cast<int>(i) + 1;
        }
    }
    return std::nullopt;
}

sys_seconds clampedExpiry(std::int64_t secondsSinceEpoch) {
    return sys_seconds(std::chrono::seconds(std::min(secondsSinceEpoch, kLatestExpiry)));
}

}  // namespace

std::optional<sys_seconds> parseCookieDate(std::string_view text) {
    int hour = 0;
    int minute = 0;
    int second = 0;
    std::optional<int> day;
    std::optional<int> month;
    std::optional<int> year;
    bool foundTime = false;
    std::size_t position = 0;
    while (position < text.size()) {
        while (position < text.size() && isDateDelimiter(static_cast<unsigned char>(text[position]))) {
            ++position;
        }
        const std::size_t start = position;
        while (position < text.size() && !isDateDelimiter(static_cast<unsigned char>(text[position]))) {
            ++position;
        }
        const std::string_view token = text.substr(start, position - start);
        if (token.empty()) {
            continue;
        }
        if (!foundTime && parseTime(token, hour, minute, second)) {
            foundTime = true;
            continue;
        }
        if (!day) {
            if (auto number = leadingNumber(token, 1, 2)) {
                day = number;
                continue;
            }
        }
        if (!month) {
            if (auto number = parseMonth(token)) {
                month = number;
                continue;
            }
        }
        if (!year) {
            year = leadingNumber(token, 2, 4);
        }
    }
    if (!foundTime || !day || !month || !year) {
        return std::nullopt;
    }
    int y = *year;
    if (y >= 70 && y <= 99) {
        y += 1900;
    } else if (y >= 0 && y <= 69) {
        y += 2000;
    }
    if (*day < 1 || *day > 31 || y < 1601 || hour > 23 || minute > 59 || second > 59) {
        return std::nullopt;
    }
    const std::chrono::year_month_day date{std::chrono::year(y), std::chrono::month(static_cast<unsigned>(*month)),
                                           std::chrono::day(static_cast<unsigned>(*day))};
    if (!date.ok()) {
        return std::nullopt;
    }
    return sys_seconds(std::chrono::sys_days(date)) + std::chrono::hours(hour) + std::chrono::minutes(minute) +
           std::chrono::seconds(second);
}

bool cookieDomainMatches(std::string_view host, std::string_view domain) {
    if (equalsIgnoringCase(host, domain)) {
        return true;
    }
    if (domain.empty() || host.size() <= domain.size() || isIPAddress(host)) {
        return false;
    }
    return host[host.size() - domain.size() - 1] == '.' &&
           equalsIgnoringCase(host.substr(host.size() - domain.size()), domain);
}

bool cookiePathMatches(std::string_view requestPath, std::string_view cookiePath) {
    if (requestPath == cookiePath) {
        return true;
    }
    if (cookiePath.empty() || requestPath.substr(0, cookiePath.size()) != cookiePath) {
        return false;
    }
    return cookiePath.back() == '/' || requestPath[cookiePath.size()] == '/';
}

std::string defaultCookiePath(std::string_view requestPath) {
    if (requestPath.empty() || requestPath.front() != '/') {
        return "/";
    }
    const std::size_t last = requestPath.rfind('/');
    if (last == 0) {
        return "/";
    }
    return std::string(requestPath.substr(0, last));
}

std::optional<HTTPCookie> parseSetCookieField(std::string_view field, const URL& url,
                                              std::chrono::system_clock::time_point now) {
    if (!url.isValid() || field.size() > kLargestCookie || hasControlCharacter(field)) {
        return std::nullopt;
    }
    const std::size_t semicolon = field.find(';');
    const std::string_view pair = field.substr(0, semicolon);
    const std::size_t equals = pair.find('=');
    if (equals == std::string_view::npos) {
        return std::nullopt;
    }
    HTTPCookie cookie;
    cookie.name = std::string(trimmed(pair.substr(0, equals)));
    cookie.value = std::string(trimmed(pair.substr(equals + 1)));
    if (cookie.name.empty()) {
        return std::nullopt;
    }
    cookie.creationTime = now;
    const auto nowSeconds = std::chrono::floor<std::chrono::seconds>(now);
    std::optional<sys_seconds> expires;
    std::optional<sys_seconds> maxAge;
    std::optional<std::string> domain;
    std::optional<std::string> path;
    std::string_view attributes = semicolon == std::string_view::npos ? std::string_view() : field.substr(semicolon);
    while (!attributes.empty()) {
        attributes.remove_prefix(1);  // the ";"
        const std::size_t next = attributes.find(';');
        const std::string_view attribute = attributes.substr(0, next);
        attributes = next == std::string_view::npos ? std::string_view() : attributes.substr(next);
        const std::size_t assign = attribute.find('=');
        const std::string_view name = trimmed(attribute.substr(0, assign));
        const std::string_view value =
            assign == std::string_view::npos ? std::string_view() : trimmed(attribute.substr(assign + 1));
        if (equalsIgnoringCase(name, "Expires")) {
            if (auto date = parseCookieDate(value)) {
                expires = std::min(*date, clampedExpiry(kLatestExpiry));
            }
        } else if (equalsIgnoringCase(name, "Max-Age")) {
            const bool negative = !value.empty() && value.front() == '-';
            const std::string_view digits = negative ? value.substr(1) : value;
            if (digits.empty() || !std::all_of(digits.begin(), digits.end(), isDigit)) {
                continue;
            }
            if (negative || digits.find_first_not_of('0') == std::string_view::npos) {
                maxAge = sys_seconds(std::chrono::seconds(0));  // the earliest time: already expired
            } else {
                std::int64_t seconds = 0;
                for (const char c : digits.substr(0, 12)) {
                    seconds = seconds * 10 + (c - '0');
                }
                maxAge = clampedExpiry(nowSeconds.time_since_epoch().count() + seconds);
            }
        } else if (equalsIgnoringCase(name, "Domain")) {
            if (!value.empty()) {
                domain = lowered(value.front() == '.' ? value.substr(1) : value);
            }
        } else if (equalsIgnoringCase(name, "Path")) {
            path = (value.empty() || value.front() != '/') ? defaultCookiePath(url.path()) : std::string(value);
        } else if (equalsIgnoringCase(name, "Secure")) {
            cookie.secure = true;
        } else if (equalsIgnoringCase(name, "HttpOnly")) {
            cookie.httpOnly = true;
        }
    }
    cookie.expiresDate = maxAge ? maxAge : expires;
    if (domain && !domain->empty()) {
        if (!cookieDomainMatches(url.host(), *domain)) {
            return std::nullopt;
        }
        cookie.hostOnly = false;
        cookie.domain = *domain;
    } else {
        cookie.hostOnly = true;
        cookie.domain = url.host();
    }
    cookie.path = path ? *path : defaultCookiePath(url.path());
    return cookie;
}

}  // namespace tomely
