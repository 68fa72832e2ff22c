#include "http/ResponseHead.h"

#include <charconv>
#include <cstdint>
#include <limits>
#include <vector>

#include "platform/TextEncoding.h"

namespace tomely {
namespace {

// A head larger than this is refused: the transport limits heads as well, and no answer of the
// service comes near it.
constexpr std::size_t kLargestHead = 1024 * 1024;

bool isSpace(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isSpace(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isSpace(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// The line without its end: a line feed, after a carriage return or not.
std::string_view withoutLineEnd(std::string_view line) {
    if (!line.empty() && line.back() == '\n') {
        line.remove_suffix(1);
    }
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    return line;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Case-insensitive search for an ASCII needle.
std::size_t findIgnoringCase(std::string_view haystack, std::string_view needle) {
    if (needle.size() > haystack.size()) {
        return std::string_view::npos;
    }
    for (std::size_t i = 0; i + needle.size() <= haystack.size(); ++i) {
        if (equalsIgnoringCase(haystack.substr(i, needle.size()), needle)) {
            return i;
        }
    }
    return std::string_view::npos;
}

// The elements of a comma-separated field value (as repeated fields are joined), trimmed.
std::vector<std::string_view> listElements(std::string_view value) {
    std::vector<std::string_view> elements;
    for (;;) {
        const std::size_t comma = value.find(',');
        elements.push_back(trimmed(value.substr(0, comma)));
        if (comma == std::string_view::npos) {
            return elements;
        }
        value.remove_prefix(comma + 1);
    }
}

// A number of decimal digits only that fits a signed 64-bit value, as the transport reads lengths.
std::optional<std::uint64_t> decimalNumber(std::string_view text) {
    std::uint64_t number = 0;
    const auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), number);
    const bool digitsOnly = !text.empty() && isDigit(text.front()) && end == text.data() + text.size();
    if (failure != std::errc() || !digitsOnly ||
        number > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
        return std::nullopt;
    }
    return number;
}

// A "Content-Length" value, and if it is not one number, why not.
struct ContentLength {
    enum class Reading { Number, DifferentNumbers, NotDecimal } reading = Reading::NotDecimal;
    std::uint64_t number = 0;
};

ContentLength readContentLength(std::string_view value) {
    ContentLength length;
    bool first = true;
    for (const std::string_view element : listElements(value)) {
        const std::optional<std::uint64_t> number = decimalNumber(element);
        if (!number) {
            return ContentLength{};
        }
        if (!first && *number != length.number) {
            length.reading = ContentLength::Reading::DifferentNumbers;
        } else if (first) {
            length = ContentLength{ContentLength::Reading::Number, *number};
        }
        first = false;
    }
    return length;
}

std::size_t headSize(const ResponseHead& head) {
    std::size_t size = head.statusLine.size();
    for (const auto& [name, value] : head.headers) {
        size += name.size() + value.size() + 4;
    }
    return size;
}

}  // namespace

std::optional<ResponseHead> parseStatusLine(std::string_view line) {
    line = withoutLineEnd(line);
    // "HTTP/" digit "." digit, or HTTP/2's bare "HTTP/2".
    if (line.substr(0, 5) != "HTTP/") {
        return std::nullopt;
    }
    const std::size_t space = line.find(' ');
    if (space == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view version = line.substr(0, space);
    const std::string_view number = version.substr(5);
    const bool versionOk = (number.size() == 1 && isDigit(number[0])) ||
                           (number.size() == 3 && isDigit(number[0]) && number[1] == '.' && isDigit(number[2]));
    const std::string_view rest = line.substr(space + 1);
    if (!versionOk || rest.size() < 3 || !isDigit(rest[0]) || !isDigit(rest[1]) || !isDigit(rest[2]) ||
        (rest.size() > 3 && rest[3] != ' ')) {
        return std::nullopt;
    }
    ResponseHead head;
    head.statusCode = (rest[0] - '0') * 100 + (rest[1] - '0') * 10 + (rest[2] - '0');
    head.statusLine = std::string(line);
    head.httpVersion = std::string(version);
    return head;
}

bool ResponseHeadParser::addLine(std::string_view line) {
    line = withoutLineEnd(line);
    const bool startsHead = line.substr(0, 5) == "HTTP/";
    if ((startsHead || (haveStatus_ && !complete_)) && line.find('\r') != std::string_view::npos) {
        return refuseAsAmbiguous("a carriage return inside a line of its head");
    }
    if (startsHead) {
        // A new response head: an interim answer before it is forgotten.
        auto status = parseStatusLine(line);
        *this = ResponseHeadParser();
        if (!status) {
            return false;
        }
        head_ = std::move(*status);
        haveStatus_ = true;
        return true;
    }
    if (!haveStatus_ || complete_) {
        // Nothing belongs to a head before its status line or after its end.
        return true;
    }
    if (line.empty()) {
        // 1xx heads are followed by the real one.
        complete_ = head_.statusCode >= 200 || head_.statusCode < 100;
        if (!complete_) {
            *this = ResponseHeadParser();
            return true;
        }
        const auto length = head_.headers.find("Content-Length");
        if (length != head_.headers.end()) {
            switch (readContentLength(length->second).reading) {
                case ContentLength::Reading::Number:
                    break;
                case ContentLength::Reading::DifferentNumbers:
                    return refuseAsAmbiguous("two different Content-Length values");
                case ContentLength::Reading::NotDecimal:
                    return refuseAsAmbiguous("a Content-Length that is not a decimal number");
            }
        }
        return true;
    }
    if (headSize(head_) + line.size() > kLargestHead) {
        return false;
    }
    if (isSpace(line.front())) {
        // An obsolete folded continuation of the previous field.
        if (!lastName_.empty()) {
            std::string& value = head_.headers[lastName_];
            value += ' ';
            value += trimmed(line);
            if (equalsIgnoringCase(lastName_, "Set-Cookie") && !head_.setCookieFields.empty()) {
                head_.setCookieFields.back() += ' ';
                head_.setCookieFields.back() += trimmed(line);
            }
        }
        return true;
    }
    const std::size_t colon = line.find(':');
    if (colon != std::string_view::npos && colon > 0 && isSpace(line[colon - 1])) {
        return refuseAsAmbiguous("white space before a header's colon");
    }
    const std::string_view name = colon == std::string_view::npos ? std::string_view() : trimmed(line.substr(0, colon));
    if (name.empty()) {
        lastName_.clear();
        return true;
    }
    const std::string_view value = trimmed(line.substr(colon + 1));
    auto [entry, inserted] = head_.headers.try_emplace(std::string(name), value);
    if (!inserted) {
        entry->second += ", ";
        entry->second += value;
    }
    if (equalsIgnoringCase(name, "Set-Cookie")) {
        head_.setCookieFields.emplace_back(value);
    }
    lastName_ = entry->first;
    return true;
}

bool ResponseHeadParser::refuseAsAmbiguous(std::string reason) {
    ambiguity_ = std::move(reason);
    complete_ = false;
    return false;
}

std::optional<ResponseHead> parseResponseHead(std::string_view block) {
    ResponseHeadParser parser;
    while (!block.empty() && !parser.isComplete()) {
        const std::size_t end = block.find('\n');
        const std::string_view line = block.substr(0, end == std::string_view::npos ? block.size() : end + 1);
        block.remove_prefix(line.size());
        if (!parser.addLine(line)) {
            return std::nullopt;
        }
    }
    if (!parser.isComplete()) {
        return std::nullopt;
    }
    return parser.head();
}

std::string charsetFromContentType(std::string_view contentType) {
    const std::size_t start = findIgnoringCase(contentType, "charset=");
    if (start == std::string_view::npos) {
        return {};
    }
    std::string_view charset = contentType.substr(start + 8);
    charset = trimmed(charset.substr(0, charset.find(';')));
    if (charset.size() >= 2 && charset.front() == '"' && charset.back() == '"') {
        charset = trimmed(charset.substr(1, charset.size() - 2));
    }
    return std::string(charset);
}

std::string responseEncodingFor(const HTTPHeaders& headers, std::string_view defaultEncoding) {
    const auto contentType = headers.find("Content-Type");
    if (contentType != headers.end()) {
        if (auto name = ianaCharsetName(charsetFromContentType(contentType->second))) {
            return *name;
        }
    }
    return std::string(defaultEncoding);
}

std::optional<std::uint64_t> parseContentLength(std::string_view value) {
    const ContentLength length = readContentLength(value);
    return length.reading == ContentLength::Reading::Number ? std::optional(length.number) : std::nullopt;
}

bool isUsableAuthenticationChallenge(std::string_view challenge) {
    challenge = trimmed(challenge);
    std::string_view scheme = challenge.substr(0, challenge.find_first_of(" \t,"));
    for (const std::string_view known : {"Basic", "Digest", "NTLM", "Negotiate"}) {
        if (equalsIgnoringCase(scheme, known)) {
            return true;
        }
    }
    return false;
}

}  // namespace tomely
