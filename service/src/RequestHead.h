#pragma once

#include <cstddef>
#include <string_view>

// How much of a request must have arrived before a worker takes the connection. Pure, any thread.
namespace tomely::shelf {

// The largest body a page form or the sign-in call may have; the gate waits for this much of any
// body, so that no anonymous request leaves a worker waiting for its sender.
inline constexpr std::size_t kMaxFormBodyBytes = 64U * 1024U;

struct HeadScan {
    enum class State {
        Incomplete,  // wait for more bytes
        Complete,    // the head has arrived, and as much of the body as is waited for
        TooLarge,    // no end of head within the limit
    };
    State state = State::Incomplete;
};

// Scans what a connection has received so far: a request head (ended by an empty line, with CRLF
// or LF line ends), then its whole body when its Content-Length is at most `bodyBytes`. A head
// without a usable Content-Length, with a longer one, or with "Expect:" waits for no body: a
// worker reads it, or refuses it.
[[nodiscard]] HeadScan scanRequestHead(std::string_view received, std::size_t maxHeadBytes, std::size_t bodyBytes);

}  // namespace tomely::shelf
