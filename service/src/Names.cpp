#include "Names.h"

namespace tomely::shelf {

namespace {

constexpr std::string_view kPartMarker = ".part";
constexpr std::size_t kMinIndexDigits = 5;
constexpr std::size_t kMaxEmailBytes = 254;

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// True when a path that starts with "/" holds an empty, "." or ".." segment.
bool hasBadSegment(std::string_view path) {
    std::size_t start = 1;
    while (start <= path.size()) {
        const std::size_t slash = std::min(path.find('/', start), path.size());
        const auto segment = path.substr(start, slash - start);
        if (segment.empty() || segment == "." || segment == "..") {
            return true;
        }
        start = slash + 1;
    }
    return false;
}

}  // namespace

bool isPlausibleEmail(std::string_view email) {
    const auto at = email.find('@');
    if (email.size() > kMaxEmailBytes || at == std::string_view::npos || at == 0 || at + 1 == email.size()) {
        return false;
    }
    for (const char c : email) {
        if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7f) {
            return false;
        }
    }
    return true;
}

bool isValidGuid(std::string_view guid) {
    if (guid.empty() || guid.size() > kMaxGuidLength) {
        return false;
    }
    for (const char c : guid) {
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (!letter && !isDigit(c) && c != '-' && c != '_') {
            return false;
        }
    }
    return true;
}

std::optional<std::uint64_t> parseDecimal(std::string_view text) {
    if (text.empty() || text.size() > 19) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (const char c : text) {
        if (!isDigit(c)) {
            return std::nullopt;
        }
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return value;
}

PartNameCheck checkPartName(std::string_view name) {
    const std::string quoted = "name \"" + std::string(name.substr(0, 200)) + "\"";
    if (name.size() > kMaxNameLength) {
        return {std::nullopt, quoted + " is longer than " + std::to_string(kMaxNameLength) + " bytes"};
    }
    if (name.empty() || name.front() != '/') {
        return {std::nullopt, quoted + " does not start with \"/\""};
    }
    for (const char c : name) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f || c == '\\') {
            return {std::nullopt, quoted + " holds a control character or a backslash"};
        }
    }
    const std::size_t marker = name.rfind(kPartMarker);
    const auto digits =
        marker == std::string_view::npos ? std::string_view() : name.substr(marker + kPartMarker.size());
    const auto index = parseDecimal(digits);
    if (hasBadSegment(name) || (marker != std::string_view::npos && hasBadSegment(name.substr(0, marker)))) {
        return {std::nullopt, quoted + " holds an empty, \".\" or \"..\" path segment"};
    }
    if (marker == std::string_view::npos || digits.size() < kMinIndexDigits || !index) {
        return {std::nullopt, quoted + " does not end in a part index such as \".part00000\""};
    }
    return {PartName{std::string(name.substr(0, marker)), *index}, {}};
}

}  // namespace tomely::shelf
