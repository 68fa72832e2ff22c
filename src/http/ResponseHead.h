#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "http/HTTPHeaders.h"

namespace tomely {

// The parsed head of one HTTP response. Pure data: the parsers below do no I/O, so they can be
// driven by tests and by the fuzzer directly.
struct ResponseHead {
    int statusCode = 0;
    // The whole status line without its line end, e.g. "HTTP/1.1 404 Not Found".
    std::string statusLine;
    // "HTTP/1.1", "HTTP/1.0".
    std::string httpVersion;
    // Repeated fields are joined with ", " as HTTP allows.
    HTTPHeaders headers;
    // Each "Set-Cookie" field on its own: joined, their "Expires" dates would be ambiguous.
    std::vector<std::string> setCookieFields;
};

// "HTTP/<version> <three digits>[ <reason>]"; nothing for anything else.
[[nodiscard]] std::optional<ResponseHead> parseStatusLine(std::string_view line);

// Collects the header lines of a response as the transport hands them over, one line at a time
// (line ends included or not). A new status line starts a new head, so interim 1xx answers are
// replaced by the final one. Lines without a colon are ignored; a line beginning with white
// space continues the previous field.
class ResponseHeadParser {
public:
    // Answers false when the line is a malformed status line (the head can then not be used).
    [[nodiscard]] bool addLine(std::string_view line);
    // An empty line ended the head of a final (non-1xx) response.
    [[nodiscard]] bool isComplete() const { return complete_; }
    [[nodiscard]] bool hasStatusLine() const { return haveStatus_; }
    [[nodiscard]] const ResponseHead& head() const { return head_; }
    void reset() { *this = ResponseHeadParser(); }

private:
    ResponseHead head_;
    std::string lastName_;
    bool haveStatus_ = false;
    bool complete_ = false;
};

// A whole header block (status line, fields, empty line), as above; for tests and the fuzzer.
[[nodiscard]] std::optional<ResponseHead> parseResponseHead(std::string_view block);

// The charset parameter of a "Content-Type" value: the text after "charset=" up to the next ";",
// trimmed of white space and quotes; empty when there is none.
[[nodiscard]] std::string charsetFromContentType(std::string_view contentType);
// The MIME type of a "Content-Type" value: the text before the first ";", trimmed.
[[nodiscard]] std::string mimeTypeFromContentType(std::string_view contentType);
// The text encoding of a response: the IANA name of its charset when IANA knows it, else
// `defaultEncoding`.
[[nodiscard]] std::string responseEncodingFor(const HTTPHeaders& headers, std::string_view defaultEncoding);

// "Content-Length" as an unsigned number: decimal, hexadecimal after "0x", octal after a leading
// "0". Garbage counts as 0; too large a number as the largest value.
[[nodiscard]] std::uint64_t parseContentLength(std::string_view value);

// Whether an authentication challenge ("WWW-Authenticate" or "Proxy-Authenticate") names a scheme
// a credential could answer: Basic, Digest, NTLM or Negotiate.
[[nodiscard]] bool isUsableAuthenticationChallenge(std::string_view challenge);

}  // namespace tomely
