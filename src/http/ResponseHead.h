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
//
// A head that the transport could frame differently from us is refused as ambiguous: a carriage
// return that does not end a line (the transport ends lines at line feeds only, so a header could
// hide behind it), white space between a field's name and its colon (the transport does not read
// "Content-Length :" as the length), and a "Content-Length" other than one decimal number
// (repeated fields included). Lines that end in a line feed alone are accepted.
class ResponseHeadParser {
public:
    // Answers false when the line is a malformed status line or makes the head ambiguous (the
    // head can then not be used; ambiguity() says why in the second case).
    [[nodiscard]] bool addLine(std::string_view line);
    // Why the head was refused as ambiguous ("two different Content-Length values"); empty when
    // it was not.
    [[nodiscard]] const std::string& ambiguity() const { return ambiguity_; }
    // An empty line ended the head of a final (non-1xx) response.
    [[nodiscard]] bool isComplete() const { return complete_; }
    [[nodiscard]] const ResponseHead& head() const { return head_; }
    void reset() { *this = ResponseHeadParser(); }

private:
    // Remembers why and gives up on the head.
    [[nodiscard]] bool refuseAsAmbiguous(std::string reason);

    ResponseHead head_;
    std::string lastName_;
    std::string ambiguity_;
    bool haveStatus_ = false;
    bool complete_ = false;
};

// A whole header block (status line, fields, empty line), as above; for tests and the fuzzer.
[[nodiscard]] std::optional<ResponseHead> parseResponseHead(std::string_view block);

// The charset parameter of a "Content-Type" value: the text after "charset=" up to the next ";",
// trimmed of white space and quotes; empty when there is none.
[[nodiscard]] std::string charsetFromContentType(std::string_view contentType);
// The text encoding of a response: the IANA name of its charset when IANA knows it, else
// `defaultEncoding`.
[[nodiscard]] std::string responseEncodingFor(const HTTPHeaders& headers, std::string_view defaultEncoding);

// "Content-Length" as the transport reads it: decimal digits only (leading zeros included), no
// larger than a signed 64-bit number. A repeated field, joined with ", ", must repeat the same
// number. Nothing for anything else.
[[nodiscard]] std::optional<std::uint64_t> parseContentLength(std::string_view value);

// Whether an authentication challenge ("WWW-Authenticate" or "Proxy-Authenticate") names a scheme
// a credential could answer: Basic, Digest, NTLM or Negotiate.
[[nodiscard]] bool isUsableAuthenticationChallenge(std::string_view challenge);

}  // namespace tomely
