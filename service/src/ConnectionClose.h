#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

#include <httplib.h>

// Ending a connection on purpose. The HTTP library keeps its sockets to itself and offers no way
// to close a connection after an answer; the socket is found among the process's descriptors by
// the two ends of the connection instead.
namespace tomely::shelf {

// How much of a refused body is still read and thrown away after the answer, so that the client
// can finish sending and read the answer instead of meeting a reset.
struct LingerLimits {
    std::uint64_t bytes = 128U * 1024U * 1024U;
    std::chrono::milliseconds time = std::chrono::seconds(30);
};

// Makes the answer being built on this worker thread the connection's last: it says
// "Connection: close", and once it is written, closeIfAsked() ends the connection. For answers
// given before the request body was read to its end, which is still on the connection.
void closeAfterAnswer(httplib::Response& response);

// Called on the worker thread once an answer is written. After an answer marked by
// closeAfterAnswer(): shuts down the sending side, so the client sees the answer end, reads and
// discards what the client still sends until it closes, the limits are reached or `stopping`
// becomes true, and then ends the connection, so the library closes it instead of reading on.
void closeIfAsked(const httplib::Request& request, const LingerLimits& limits, const std::atomic<bool>& stopping);

// Ends the connection at once, without an answer. False when its socket was not found.
bool dropConnection(const httplib::Request& request);

}  // namespace tomely::shelf
