#include "RequestHead.h"

#include <algorithm>
#include <optional>

#include "Names.h"

namespace tomely::shelf {

namespace {

constexpr std::string_view kContentLength = "content-length:";
constexpr std::string_view kExpect = "expect:";

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               return a == (b >= 'A' && b <= 'Z' ? static_cast<char>(b - 'A' + 'a') : b);
           });
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

// The length of the head, up to and including its empty line, if it has ended.
std::optional<std::size_t> headLength(std::string_view received) {
    for (std::size_t lineEnd = received.find('\n'); lineEnd != std::string_view::npos;
         lineEnd = received.find('\n', lineEnd + 1)) {
        const std::size_t next = lineEnd + 1;
        if (next < received.size() && received[next] == '\n') {
            return next + 1;
        }
        if (next + 1 < received.size() && received[next] == '\r' && received[next + 1] == '\n') {
            return next + 2;
        }
    }
    return std::nullopt;
}

// The one Content-Length of the head; nothing when there is none, or more than one, or it is not
// a plain decimal, or the client waits for an interim answer before it sends the body.
std::optional<std::uint64_t> contentLength(std::string_view head) {
    std::optional<std::uint64_t> length;
    bool seen = false;
    for (std::size_t start = 0; start < head.size();) {
        const std::size_t end = std::min(head.find('\n', start), head.size());
        const auto line = head.substr(start, end - start);
        if (startsWithIgnoringCase(line, kExpect)) {
            return std::nullopt;
        }
        if (startsWithIgnoringCase(line, kContentLength)) {
            if (seen) {
                return std::nullopt;
            }
            seen = true;
            length = parseDecimal(trimmed(line.substr(kContentLength.size())));
        }
        start = end + 1;
    }
    return length;
}

}  // namespace

HeadScan scanRequestHead(std::string_view received, std::size_t maxHeadBytes, std::size_t bodyBytes) {
    const auto head = headLength(received.substr(0, std::min(received.size(), maxHeadBytes)));
    if (!head) {
        return {received.size() >= maxHeadBytes ? HeadScan::State::TooLarge : HeadScan::State::Incomplete};
    }
    // A longer body is refused unread, or read by a worker of an upload call that has checked
    // the session first; the client may wait for that answer before it sends the body.
    const auto length = contentLength(received.substr(0, *head));
    const std::uint64_t wanted = length && *length <= bodyBytes ? *length : 0;
    return {received.size() - *head >= wanted ? HeadScan::State::Complete : HeadScan::State::Incomplete};
}

}  // namespace tomely::shelf
