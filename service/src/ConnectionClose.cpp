#include "ConnectionClose.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <utility>

namespace tomely::shelf {

namespace {

// Set by closeAfterAnswer() while a handler builds its answer, taken by closeIfAsked() once the
// answer is written; a worker serves one request at a time.
thread_local bool closeRequested = false;

// How often a linger looks whether the service is stopping.
constexpr auto kStopCheckInterval = std::chrono::milliseconds(100);

struct Endpoint {
    std::string address;
    int port = -1;
    bool operator==(const Endpoint&) const = default;
};

// The address as the HTTP library writes it into a request: numeric, from getnameinfo.
std::optional<Endpoint> endpointOf(const sockaddr_storage& address, socklen_t length) {
    Endpoint endpoint;
    if (address.ss_family == AF_INET) {
        endpoint.port = ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
    } else if (address.ss_family == AF_INET6) {
        endpoint.port = ntohs(reinterpret_cast<const sockaddr_in6&>(address).sin6_port);
    } else {
        return std::nullopt;
    }
    char host[NI_MAXHOST];
    if (getnameinfo(reinterpret_cast<const sockaddr*>(&address), length, host, sizeof host, nullptr, 0,
                    NI_NUMERICHOST) != 0) {
        return std::nullopt;
    }
    endpoint.address = host;
    return endpoint;
}

bool connects(int socket, const Endpoint& local, const Endpoint& remote) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        endpointOf(address, length) != local) {
        return false;
    }
    length = sizeof address;
    return getpeername(socket, reinterpret_cast<sockaddr*>(&address), &length) == 0 &&
           endpointOf(address, length) == remote;
}

// The socket the request arrived on. It stays open while the worker that serves the request runs.
std::optional<int> connectionSocket(const httplib::Request& request) {
    const Endpoint local{request.local_addr, request.local_port};
    const Endpoint remote{request.remote_addr, request.remote_port};
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
        const std::string name = entry.path().filename().string();
        int socket = -1;
        if (std::from_chars(name.data(), name.data() + name.size(), socket).ec == std::errc() &&
            connects(socket, local, remote)) {
            return socket;
        }
    }
    return std::nullopt;
}

// Reads and throws away what arrives until the client closes (true) or a limit is reached.
bool drain(int socket, const LingerLimits& limits, const std::atomic<bool>& stopping) {
    const auto deadline = std::chrono::steady_clock::now() + limits.time;
    char buffer[64 * 1024];
    std::uint64_t drained = 0;
    while (drained < limits.bytes && !stopping) {
        const auto left = deadline - std::chrono::steady_clock::now();
        if (left <= std::chrono::steady_clock::duration::zero()) {
            return false;
        }
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(
            std::min<std::chrono::steady_clock::duration>(left, kStopCheckInterval));
        pollfd readable{socket, POLLIN, 0};
        const int ready = poll(&readable, 1, static_cast<int>(wait.count()));
        if (ready < 0 && errno != EINTR) {
            return true;
        }
        if (ready <= 0) {
            continue;
        }
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(sizeof buffer, limits.bytes - drained));
        const ssize_t got = recv(socket, buffer, want, MSG_DONTWAIT);
        if (got > 0) {
            drained += static_cast<std::uint64_t>(got);
        } else if (got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
            return true;  // closed, or reset: nothing more will come
        }
    }
    return false;
}

}  // namespace

void closeAfterAnswer(httplib::Response& response) {
    response.set_header("Connection", "close");
    closeRequested = true;
}

void closeIfAsked(const httplib::Request& request, const LingerLimits& limits, const std::atomic<bool>& stopping) {
    if (!std::exchange(closeRequested, false)) {
        return;
    }
    const auto socket = connectionSocket(request);
    if (!socket) {
        return;
    }
    shutdown(*socket, SHUT_WR);
    if (!drain(*socket, limits, stopping)) {
        // The library would read on, taking the rest of the body for the next request. Connecting
        // a TCP socket to AF_UNSPEC aborts the connection: the client gets a reset, the library's
        // next read fails and it closes the socket.
        sockaddr none{};
        none.sa_family = AF_UNSPEC;
        connect(*socket, &none, sizeof none);
    }
}

bool dropConnection(const httplib::Request& request) {
    const auto socket = connectionSocket(request);
    return socket && shutdown(*socket, SHUT_RDWR) == 0;
}

}  // namespace tomely::shelf
