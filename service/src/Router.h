#pragma once

#include <httplib.h>

namespace tomely::shelf {

// The HTTP library's routing and request handling, fed by our own connections (ConnectionGate)
// instead of its accept loop, which gives a worker to every connection before it has sent anything.
class Router : public httplib::Server {
public:
    // Reads one request from the stream, routes it and writes the answer; false when the
    // connection must close.
    bool serve(httplib::Stream& stream, bool lastOnConnection) {
        bool closed = false;
        return process_request(stream, lastOnConnection, closed, {}) && !closed;
    }
    // The socket that bind_to_port() or bind_to_any_port() made, or -1.
    [[nodiscard]] int listeningSocket() const { return svr_sock_; }
    void closeListeningSocket();
};

}  // namespace tomely::shelf
