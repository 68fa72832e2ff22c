#include "json/DataScanner.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "platform/UTF8.h"

namespace tomely {
namespace {

constexpr std::size_t kSnippetRadius = 20;

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// The leading integer of `text` (an optional sign, then decimal digits), saturated to the 64-bit
// range; nullopt when there is no digit.
std::optional<std::int64_t> leadingSignedInteger(std::string_view text) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i == text.size() || !isDigit(text[i])) {
        return std::nullopt;
    }
    // Accumulate the magnitude as unsigned so INT64_MIN's magnitude fits.
    const std::uint64_t limit = negative ? std::uint64_t{1} << 63U : std::numeric_limits<std::int64_t>::max();
    std::uint64_t magnitude = 0;
    for (; i < text.size() && isDigit(text[i]); ++i) {
        const auto digit = static_cast<std::uint64_t>(text[i] - '0');
        magnitude = magnitude > (limit - digit) / 10 ? limit : magnitude * 10 + digit;
    }
    if (!negative) {
        return static_cast<std::int64_t>(magnitude);
    }
    return magnitude == limit ? std::numeric_limits<std::int64_t>::min() : -static_cast<std::int64_t>(magnitude);
}

// The leading digits of `text` after an optional "+", octal when they start with 0, saturated to
// the 64-bit range; nullopt when there is no digit.
std::optional<std::uint64_t> leadingUnsignedInteger(std::string_view text) {
    std::size_t i = 0;
    if (i < text.size() && text[i] == '+') {
        ++i;
    }
    if (i == text.size() || !isDigit(text[i])) {
        return std::nullopt;
    }
    const std::uint64_t base = text[i] == '0' ? 8 : 10;
    constexpr std::uint64_t kLimit = std::numeric_limits<std::uint64_t>::max();
    std::uint64_t value = 0;
    for (; i < text.size() && isDigit(text[i]) && static_cast<std::uint64_t>(text[i] - '0') < base; ++i) {
        const auto digit = static_cast<std::uint64_t>(text[i] - '0');
        value = value > (kLimit - digit) / base ? kLimit : value * base + digit;
    }
    return value;
}

}  // namespace

void DataScanner::setData(std::string data) {
    owned_ = std::move(data);
    data_ = owned_;
    location_ = 0;
}

void DataScanner::setDataWithoutCopy(std::string_view data) {
    std::string().swap(owned_);
    data_ = data;
    location_ = 0;
}

void DataScanner::setScanLocation(std::size_t location) {
    location_ = std::min(location, data_.size());
}

char DataScanner::scanCharacter() {
    if (isAtEnd()) {
        return '\0';
    }
    return data_[location_++];
}

bool DataScanner::scanCharacter(char character) {
    if (isAtEnd() || data_[location_] != character) {
        return false;
    }
    ++location_;
    return true;
}

bool DataScanner::scanUTF8String(std::string_view word, std::string* intoString) {
    if (data_.substr(location_, word.size()) != word) {
        return false;
    }
    location_ += word.size();
    if (intoString != nullptr) {
        intoString->assign(word);
    }
    return true;
}

bool DataScanner::scanCharactersFromSet(const ByteSet& set, std::string_view* intoString) {
    const std::size_t start = location_;
    const std::size_t size = data_.size();
    const char* bytes = data_.data();
    std::size_t end = start;
    while (end < size && set.contains(bytes[end])) {
        ++end;
    }
    location_ = end;
    if (intoString != nullptr) {
        *intoString = std::string_view(bytes + start, end - start);
    }
    return end > start;
}

void DataScanner::skipWhitespace() {
    const std::size_t size = data_.size();
    while (location_ < size && kWhitespace.contains(data_[location_])) {
        ++location_;
    }
}

bool DataScanner::scanNumber(JSONValue* outValue) {
    const std::size_t start = location_;
    std::string_view run;
    if (!scanCharactersFromSet(kNumberCharacters, &run)) {
        return false;
    }
    JSONValue value;
    if (run.find_first_of(".eE") != std::string_view::npos) {
        const std::optional<Decimal> decimal = Decimal::fromString(run);
        if (decimal) {
            value = *decimal;
        }
    } else if (run.find('-') != std::string_view::npos) {
        const std::optional<std::int64_t> integer = leadingSignedInteger(run);
        if (integer) {
            value = *integer;
        }
    } else {
        const std::optional<std::uint64_t> integer = leadingUnsignedInteger(run);
        if (integer) {
            value = *integer;
        }
    }
    if (value.isNull()) {
        location_ = start;
        return false;
    }
    if (outValue != nullptr) {
        *outValue = std::move(value);
    }
    return true;
}

DataScanner::UserInfo DataScanner::userInfoForScanLocation() const {
    return userInfoForLocation(data_, location_);
}

DataScanner::UserInfo DataScanner::userInfoForLocation(std::string_view data, std::size_t location) {
    location = std::min(location, data.size());
    const std::string_view before = data.substr(0, location);
    const auto lineBreaks = std::count_if(before.begin(), before.end(), [](char c) { return c == '\r' || c == '\n'; });
    const std::size_t lastBreak = before.find_last_of("\r\n");
    const std::size_t character = lastBreak == std::string_view::npos ? location : location - lastBreak - 1;

    // Cut the snippet's ends at character boundaries, so its text never starts or ends inside a
    // character; bytes that are not UTF-8 at all become U+FFFD.
    std::string_view head = before.substr(location - std::min(location, kSnippetRadius));
    std::size_t skip = 0;
    while (skip < 3 && skip < head.size() && (static_cast<unsigned char>(head[skip]) & 0xC0U) == 0x80U) {
        ++skip;
    }
    head.remove_prefix(skip);
    std::string_view tail = data.substr(location, kSnippetRadius);
    tail = tail.substr(0, utf8::completePrefixLength(tail));
    std::string snippet = utf8::repaired(head);
    snippet += "!HERE>!";
    utf8::appendRepairing(snippet, tail);

    return UserInfo{
        {"line", std::to_string(lineBreaks)},
        {"character", std::to_string(character)},
        {"location", std::to_string(location)},
        {"snippet", std::move(snippet)},
    };
}

}  // namespace tomely
