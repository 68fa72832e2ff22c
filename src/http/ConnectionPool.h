#pragma once

#include <chrono>
#include <map>
#include <mutex>
#include <optional>
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
// long to be used again, so that the next request opens a new one. Thread-safe.
class ConnectionPool {
public:
    [[nodiscard]] static ConnectionPool& shared();

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
};

}  // namespace tomely
