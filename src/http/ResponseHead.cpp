#include "http/ResponseHead.h"

#include <cerrno>
#include <cstdlib>
#include <limits>

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

std::string_view withoutLineEnd(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
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
    if (line.substr(0, 5) == "HTTP/") {
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

std::string mimeTypeFromContentType(std::string_view contentType) {
    return std::string(trimmed(contentType.substr(0, contentType.find(';'))));
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

std::uint64_t parseContentLength(std::string_view value) {
    const std::string text(trimmed(value));
    if (text.empty() || !isDigit(text[0])) {
        return 0;
    }
    errno = 0;
    char* end = nullptr;
    const unsigned long long number = std::strtoull(text.c_str(), &end, 0);
    if (errno == ERANGE) {
        return std::numeric_limits<std::uint64_t>::max();
    }
    return number;
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
