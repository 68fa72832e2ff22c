#pragma once

#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>

#include "http/ResponseHead.h"
#include "http/URL.h"

namespace tomely {

// What a response says about its connection.
struct KeepAlive {
    bool reusable = false;
    // The server's "Keep-Alive" timeout, when it named one.
    std::optional<double> timeoutSeconds;
};

// HTTP/1.1 connections stay open unless "Connection: close"; HTTP/1.0 ones only with
// "Connection: keep-alive". A "Keep-Alive" header makes the connection reusable only when it
// allows more than 5 further requests ("max="), and its "timeout=" says how long it may idle.
[[nodiscard]] KeepAlive keepAliveFor(const ResponseHead& head);

// The idle time left to the connections of each origin (scheme, host, port). Curl's connection
// cache holds the connections themselves; this pool only decides when an idle one has waited too
// long to be used again, so that the next request opens a new one, and whether one that curl is
// about to use again has stayed quiet. Thread-safe.
class ConnectionPool {
public:
    [[nodiscard]] static ConnectionPool& shared();

    // A socket curl has just opened for a connection.
    void socketOpened(int socket);
    // Whether the open connection that curl names by its local address may carry another exchange:
    // its socket is known, nothing has arrived on it and the server has not closed it. Bytes that
    // arrive while a connection idles (a late "408 Request Timeout", say) would otherwise be read
    // as the answer to the next request.
    [[nodiscard]] bool isQuiet(const std::string& localIP, int localPort);
    // The socket curl opened whose connection curl names by its local address; nothing when none is.
    [[nodiscard]] std::optional<int> socketFrom(const std::string& localIP, int localPort);

    // True, and the origin forgotten, when its idle connection has outlived its time.
    [[nodiscard]] bool takeExpired(const URL& url);
    // The origin's connection is idle from now and may be used for `seconds`.
    void release(const URL& url, double seconds);
    // The origin's connection was closed.
    void remove(const URL& url);
    // Every idle connection counts as expired.
    void expireAll();

private:
    using Clock = std::chrono::steady_clock;
    [[nodiscard]] static std::string originOf(const URL& url);

    std::mutex connectionsLock_;
    std::map<std::string, Clock::time_point> expires_;
    // Sockets curl opened; closed ones stay until their number is used again, and are never taken
    // for a connection, since their local address no longer matches.
    std::set<int> sockets_;
};

}  // namespace tomely
