#include "http/ConnectionPool.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <cctype>
#include <cstdlib>
#include <cstring>

namespace tomely {
namespace {

std::string lowerCased(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

// The integer after `key` in a "Keep-Alive" value such as "timeout=5, max=100".
std::optional<long> parameter(const std::string& value, std::string_view key) {
    const std::string lower = lowerCased(value);
    const auto at = lower.find(key);
    if (at == std::string::npos) {
        return std::nullopt;
    }
    const char* start = lower.c_str() + at + key.size();
    char* end = nullptr;
    const long number = std::strtol(start, &end, 10);
    return end == start ? std::nullopt : std::optional<long>(number);
}

// Whether `socket` is connected from `ip` (in text form) and `port`.
bool isConnectedFrom(int socket, const std::string& ip, int port) {
    sockaddr_storage local{};
    socklen_t length = sizeof local;
    if (::getsockname(socket, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        return false;
    }
    if (local.ss_family == AF_INET) {
        const auto& address = reinterpret_cast<const sockaddr_in&>(local);
        in_addr expected{};
        return ::inet_pton(AF_INET, ip.c_str(), &expected) == 1 && address.sin_addr.s_addr == expected.s_addr &&
               ntohs(address.sin_port) == port;
    }
    if (local.ss_family == AF_INET6) {
        const auto& address = reinterpret_cast<const sockaddr_in6&>(local);
        in6_addr expected{};
        return ::inet_pton(AF_INET6, ip.c_str(), &expected) == 1 &&
               std::memcmp(&address.sin6_addr, &expected, sizeof expected) == 0 && ntohs(address.sin6_port) == port;
    }
    return false;
}

// Something to read, the peer's close, or an error: all show as an event on an idle socket.
bool hasPendingEvent(int socket) {
    pollfd watched{socket, POLLIN | POLLRDHUP, 0};
    return ::poll(&watched, 1, 0) != 0;
}

}  // namespace

KeepAlive keepAliveFor(const ResponseHead& head) {
    KeepAlive decision;
    const auto connectionHeader = head.headers.find("Connection");
    const std::string connection = connectionHeader == head.headers.end() ? "" : lowerCased(connectionHeader->second);
    if ((head.httpVersion == "HTTP/1.0" && connection != "keep-alive") || connection == "close") {
        return decision;
    }
    const auto keepAlive = head.headers.find("Keep-Alive");
    if (keepAlive == head.headers.end()) {
        decision.reusable = true;
        return decision;
    }
    const auto timeout = parameter(keepAlive->second, "timeout=");
    const auto max = parameter(keepAlive->second, "max=");
    if (max.value_or(0) > 5) {
        decision.reusable = true;
        if (timeout) {
            decision.timeoutSeconds = static_cast<double>(*timeout);
        }
    }
    return decision;
}

ConnectionPool& ConnectionPool::shared() {
    static ConnectionPool pool;
    return pool;
}

void ConnectionPool::socketOpened(int socket) {
    std::scoped_lock lock(connectionsLock_);
    sockets_.insert(socket);
}

bool ConnectionPool::isQuiet(const std::string& localIP, int localPort) {
    const std::optional<int> socket = socketFrom(localIP, localPort);
    return socket && !hasPendingEvent(*socket);
}

std::optional<int> ConnectionPool::socketFrom(const std::string& localIP, int localPort) {
    std::scoped_lock lock(connectionsLock_);
    for (const int socket : sockets_) {
        if (isConnectedFrom(socket, localIP, localPort)) {
            return socket;
        }
    }
    return std::nullopt;
}

std::string ConnectionPool::originOf(const URL& url) {
    return url.scheme() + "://" + url.host() + ":" + std::to_string(url.port());
}

bool ConnectionPool::takeExpired(const URL& url) {
    std::scoped_lock lock(connectionsLock_);
    const auto entry = expires_.find(originOf(url));
    if (entry == expires_.end() || entry->second > Clock::now()) {
        return false;
    }
    expires_.erase(entry);
    return true;
}

void ConnectionPool::release(const URL& url, double seconds) {
    std::scoped_lock lock(connectionsLock_);
    expires_[originOf(url)] =
        Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

void ConnectionPool::remove(const URL& url) {
    std::scoped_lock lock(connectionsLock_);
    expires_.erase(originOf(url));
}

void ConnectionPool::expireAll() {
    std::scoped_lock lock(connectionsLock_);
    for (auto& entry : expires_) {
        entry.second = Clock::time_point::min();
    }
}

}  // namespace tomely
