#include "ConnectionGate.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include <httplib.h>

#include "RequestHead.h"

namespace tomely::shelf {

namespace {

using Clock = std::chrono::steady_clock;
using Wait = TransportResult::Wait;

constexpr std::size_t kReadChunk = 16U * 1024U;
constexpr int kEventBatch = 64;
constexpr const char kTooLarge[] =
    "HTTP/1.1 431 Request Header Fields Too Large\r\nContent-Type: text/plain; charset=utf-8\r\n"
    "Content-Length: 30\r\nConnection: close\r\n\r\nthe request head is too large\n";

// The address as the HTTP library reports it in a request: numeric, from getnameinfo.
void describe(const sockaddr_storage& address, socklen_t length, std::string& host, int& port) {
    char text[NI_MAXHOST];
    char service[NI_MAXSERV];
    if (getnameinfo(reinterpret_cast<const sockaddr*>(&address), length, text, sizeof text, service, sizeof service,
                    NI_NUMERICHOST | NI_NUMERICSERV) == 0) {
        host = text;
        port = std::atoi(service);
    }
}

bool waitFor(int socket, Wait wait, std::chrono::milliseconds limit) {
    pollfd ready{socket, static_cast<short>(wait == Wait::Writable ? POLLOUT : POLLIN), 0};
    const auto deadline = Clock::now() + limit;
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        const int result = poll(&ready, 1, static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0)));
        if (result >= 0 || errno != EINTR) {
            return result > 0;
        }
    }
}

// The HTTP library's view of a connection on a worker: first what the gate has read, then the
// transport, each read and write waiting at most the limit.
class ConnectionStream : public httplib::Stream {
public:
    ConnectionStream(Connection& connection, std::chrono::milliseconds limit)
        : connection_(connection), limit_(limit) {}

    bool is_readable() const override {
        return buffered() > 0 || connection_.transport->hasPending() || waitFor(socket(), Wait::Readable, limit_);
    }
    bool is_writable() const override { return waitFor(socket(), Wait::Writable, limit_); }

    ssize_t read(char* into, std::size_t size) override {
        if (const std::size_t have = buffered(); have > 0) {
            const std::size_t count = std::min(size, have);
            std::memcpy(into, connection_.received.data() + connection_.taken, count);
            connection_.taken += count;
            return static_cast<ssize_t>(count);
        }
        for (;;) {
            const auto result = connection_.transport->read(into, size);
            if (result.wait == Wait::None) {
                return result.bytes;
            }
            if (!waitFor(socket(), result.wait, limit_)) {
                return -1;
            }
        }
    }
    ssize_t write(const char* from, std::size_t size) override {
        for (;;) {
            const auto result = connection_.transport->write(from, size);
            if (result.wait == Wait::None) {
                return result.bytes > 0 ? result.bytes : -1;
            }
            if (!waitFor(socket(), result.wait, limit_)) {
                return -1;
            }
        }
    }
    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        ip = connection_.remoteAddress;
        port = connection_.remotePort;
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        ip = connection_.localAddress;
        port = connection_.localPort;
    }
    socket_t socket() const override { return connection_.transport->socket(); }

private:
    [[nodiscard]] std::size_t buffered() const { return connection_.received.size() - connection_.taken; }

    Connection& connection_;
    std::chrono::milliseconds limit_;
};

}  // namespace

ConnectionGate::ConnectionGate(ConnectionLimits limits, const TlsContext* tls, Serve serve)
    : limits_(limits),
      tls_(tls),
      serve_(std::move(serve)),
      epoll_(epoll_create1(EPOLL_CLOEXEC)),
      wake_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    if (epoll_ < 0 || wake_ < 0) {
        throw std::runtime_error(std::string("cannot set up the connection gate: ") + std::strerror(errno));
    }
}

ConnectionGate::~ConnectionGate() {
    close(wake_);
    close(epoll_);
}

void ConnectionGate::stop() {
    stopping_ = true;
    const std::uint64_t one = 1;
    (void)!::write(wake_, &one, sizeof one);
}

void ConnectionGate::run(int listeningSocket) {
    workers_ = std::make_unique<httplib::ThreadPool>(limits_.workers);
    epoll_event listening{EPOLLIN, {.fd = listeningSocket}};
    epoll_ctl(epoll_, EPOLL_CTL_ADD, listeningSocket, &listening);
    epoll_event wake{EPOLLIN, {.fd = wake_}};
    epoll_ctl(epoll_, EPOLL_CTL_ADD, wake_, &wake);
    while (!stopping_) {
        epoll_event events[kEventBatch];
        const int count = epoll_wait(epoll_, events, kEventBatch, millisecondsToNextDeadline());
        for (int i = 0; i < count && !stopping_; ++i) {
            const int socket = events[i].data.fd;
            if (socket == listeningSocket) {
                acceptAll(listeningSocket);
            } else if (socket == wake_) {
                std::uint64_t ignored = 0;
                (void)!::read(wake_, &ignored, sizeof ignored);
                takeReturned();
            } else if (waiting_.count(socket) != 0) {
                advance(socket);
            }
        }
        closeExpired();
    }
    epoll_ctl(epoll_, EPOLL_CTL_DEL, listeningSocket, nullptr);
    waiting_.clear();
    deadlines_.clear();
    workers_->shutdown();
    workers_.reset();
    std::scoped_lock lock(returnedMutex_);
    returned_.clear();
}

void ConnectionGate::acceptAll(int listeningSocket) {
    for (;;) {
        sockaddr_storage remote{};
        socklen_t remoteLength = sizeof remote;
        const int socket =
            accept4(listeningSocket, reinterpret_cast<sockaddr*>(&remote), &remoteLength, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (socket < 0) {
            if ((errno == EMFILE || errno == ENFILE) && !deadlines_.empty()) {
                // Out of descriptors: the connection nearest its deadline makes room.
                (void)release(deadlines_.begin()->second);
                continue;
            }
            if (errno == EINTR || errno == ECONNABORTED) {
                continue;
            }
            return;
        }
        if (waiting_.size() >= limits_.waiting && !deadlines_.empty()) {
            (void)release(deadlines_.begin()->second);
        }
        const int yes = 1;
        setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
        auto connection = std::make_unique<Connection>();
        connection->transport = tls_ != nullptr ? tls_->accept(socket) : std::make_unique<Transport>(socket);
        if (!connection->transport) {
            continue;
        }
        describe(remote, remoteLength, connection->remoteAddress, connection->remotePort);
        sockaddr_storage local{};
        socklen_t localLength = sizeof local;
        if (getsockname(socket, reinterpret_cast<sockaddr*>(&local), &localLength) == 0) {
            describe(local, localLength, connection->localAddress, connection->localPort);
        }
        wait(std::move(connection), limits_.headTime);
    }
}

void ConnectionGate::wait(std::unique_ptr<Connection> connection, std::chrono::milliseconds limit) {
    const int socket = connection->transport->socket();
    Connection& waiting = *connection;
    waiting_.emplace(socket, std::move(connection));
    setDeadline(waiting, Clock::now() + limit);
    watch(waiting, EPOLLIN);
    advance(socket);
}

void ConnectionGate::advance(int socket) {
    Connection& connection = *waiting_.at(socket);
    const std::size_t limit = limits_.headBytes + limits_.bodyBytes;
    auto scan = scanRequestHead(connection.received, limits_.headBytes, limits_.bodyBytes);
    while (scan.state == HeadScan::State::Incomplete && connection.received.size() < limit) {
        char chunk[kReadChunk];
        const auto result =
            connection.transport->read(chunk, std::min(sizeof chunk, limit - connection.received.size()));
        if (result.wait != Wait::None) {
            watch(connection, result.wait == Wait::Writable ? EPOLLOUT : EPOLLIN);
            return;
        }
        if (result.bytes <= 0) {
            (void)release(socket);
            return;
        }
        connection.received.append(chunk, static_cast<std::size_t>(result.bytes));
        if (connection.idle) {
            connection.idle = false;
            setDeadline(connection, Clock::now() + limits_.headTime);
        }
        scan = scanRequestHead(connection.received, limits_.headBytes, limits_.bodyBytes);
    }
    auto ready = release(socket);
    if (scan.state == HeadScan::State::TooLarge) {
        // Best effort: the answer is small enough for any socket buffer, and the connection ends.
        (void)ready->transport->write(kTooLarge, sizeof kTooLarge - 1);
        return;
    }
    workers_->enqueue([this, connection = std::shared_ptr<Connection>(std::move(ready))] { serve(connection); });
}

void ConnectionGate::watch(Connection& connection, unsigned events) {
    if (connection.interest == events) {
        return;
    }
    epoll_event event{events, {.fd = connection.transport->socket()}};
    epoll_ctl(epoll_, connection.interest == 0 ? EPOLL_CTL_ADD : EPOLL_CTL_MOD, event.data.fd, &event);
    connection.interest = events;
}

void ConnectionGate::setDeadline(Connection& connection, Clock::time_point deadline) {
    const int socket = connection.transport->socket();
    deadlines_.erase({connection.deadline, socket});
    connection.deadline = deadline;
    deadlines_.emplace(deadline, socket);
}

std::unique_ptr<Connection> ConnectionGate::release(int socket) {
    const auto found = waiting_.find(socket);
    auto connection = std::move(found->second);
    waiting_.erase(found);
    deadlines_.erase({connection->deadline, socket});
    if (connection->interest != 0) {
        epoll_ctl(epoll_, EPOLL_CTL_DEL, socket, nullptr);
        connection->interest = 0;
    }
    return connection;
}

void ConnectionGate::closeExpired() {
    const auto now = Clock::now();
    while (!deadlines_.empty() && deadlines_.begin()->first <= now) {
        (void)release(deadlines_.begin()->second);
    }
}

int ConnectionGate::millisecondsToNextDeadline() const {
    if (deadlines_.empty()) {
        return -1;
    }
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadlines_.begin()->first - Clock::now());
    return static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
}

void ConnectionGate::takeReturned() {
    std::vector<std::shared_ptr<Connection>> returned;
    {
        std::scoped_lock lock(returnedMutex_);
        returned.swap(returned_);
    }
    for (auto& shared : returned) {
        auto connection = std::make_unique<Connection>(std::move(*shared));
        connection->received.erase(0, connection->taken);
        connection->taken = 0;
        connection->idle = connection->received.empty();
        const auto limit = connection->idle ? limits_.idleTime : limits_.headTime;
        wait(std::move(connection), limit);
    }
}

void ConnectionGate::serve(std::shared_ptr<Connection> connection) {
    ++connection->requests;
    const bool last = connection->requests >= limits_.requestsPerConnection || stopping_;
    ConnectionStream stream(*connection, limits_.ioTime);
    if (!serve_(stream, last) || last || stopping_) {
        return;
    }
    {
        std::scoped_lock lock(returnedMutex_);
        returned_.push_back(std::move(connection));
    }
    const std::uint64_t one = 1;
    (void)!::write(wake_, &one, sizeof one);
}

}  // namespace tomely::shelf
