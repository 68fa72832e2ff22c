#include "common/NetworkEmulator.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <deque>
#include <optional>
#include <stdexcept>

#include "common/LoopbackAddress.h"

namespace tomely::test {
namespace {

using Clock = std::chrono::steady_clock;

// What the proxy reads at once: small enough that connections sharing a slow line take turns
// often (16 KiB is 131 ms at 1 Mbit/s).
constexpr std::size_t kChunkBytes = 16 * 1024;
// What a connection may have waiting for the line beyond what the delay keeps in flight: a
// router's queue. Bytes the proxy holds have been acknowledged to the sender, which a real line
// does only once they arrive, so the less it holds, the truer the sender's view of its progress.
constexpr std::size_t kQueueBytes = kChunkBytes;
// What a connection may have in flight on a line without a cap.
constexpr std::size_t kUncappedWindow = 4 * 1024 * 1024;
// The kernel's buffer on the proxy's receiving sockets (which the kernel doubles), which would
// otherwise grow and take bytes from a sender faster than the line carries them.
constexpr int kReceiveBuffer = 4 * 1024;

void setOption(int socket, int level, int name, int value) {
    ::setsockopt(socket, level, name, &value, sizeof value);
}

// Closing the socket now sends a reset instead of an orderly end.
void resetOnClose(int socket) {
    const linger abort{1, 0};
    ::setsockopt(socket, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
}

void signal(int event) {
    const std::uint64_t one = 1;
    (void)!::write(event, &one, sizeof one);
}

// Waits for the descriptors until `deadline` (none: for ever); false when interrupted.
void waitFor(std::vector<pollfd>& descriptors, std::optional<Clock::time_point> deadline) {
    timespec timeout{};
    if (deadline) {
        const auto left = std::max(*deadline - Clock::now(), Clock::duration::zero());
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(left);
        timeout.tv_sec = static_cast<time_t>(seconds.count());
        timeout.tv_nsec = static_cast<long>(std::chrono::nanoseconds(left - seconds).count());
    }
    ::ppoll(descriptors.data(), descriptors.size(), deadline ? &timeout : nullptr, nullptr);
}

}  // namespace

// One way of the line: when bytes read now reach the far end, and how many of them there were.
class NetworkEmulator::Line {
public:
    explicit Line(Direction direction) : direction_(direction) {}

    // How many bytes one connection may have taken and not yet delivered.
    [[nodiscard]] std::size_t window() const {
        if (direction_.bytesPerSecond == 0) {
            return direction_.delay.count() == 0 ? kQueueBytes * 16 : kUncappedWindow;
        }
        const auto inFlight = static_cast<std::size_t>(static_cast<double>(direction_.bytesPerSecond) *
                                                       std::chrono::duration<double>(direction_.delay).count());
        return inFlight + kQueueBytes;
    }

    // When `bytes` taken now reach the far end: after the bytes taken before them from every
    // connection have gone out, their own time on the line and the delay; never before
    // `notBefore` plus the delay.
    [[nodiscard]] Clock::time_point schedule(std::size_t bytes, Clock::time_point now, Clock::time_point notBefore) {
        Clock::time_point sent = now;
        if (direction_.bytesPerSecond > 0) {
            std::scoped_lock lock(mutex_);
            const auto onLine = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(
                static_cast<double>(bytes) / static_cast<double>(direction_.bytesPerSecond)));
            freeAt_ = std::max(freeAt_, now) + onLine;
            sent = freeAt_;
        }
        return std::max(sent, notBefore) + direction_.delay;
    }

    void arrive(std::size_t bytes) { delivered_ += bytes; }
    [[nodiscard]] std::uint64_t delivered() const { return delivered_.load(); }
    [[nodiscard]] std::chrono::microseconds delay() const { return direction_.delay; }

    void armDrop(std::uint64_t bytes) {
        std::scoped_lock lock(mutex_);
        dropAfter_ = std::max<std::uint64_t>(bytes, 1);
        dropped_ = false;
    }
    // Whether `bytes` just taken reach the armed drop; it strikes once.
    [[nodiscard]] bool takeDrop(std::size_t bytes) {
        std::scoped_lock lock(mutex_);
        if (!dropAfter_) {
            return false;
        }
        if (bytes < *dropAfter_) {
            *dropAfter_ -= bytes;
            return false;
        }
        dropAfter_.reset();
        dropped_ = true;
        return true;
    }
    [[nodiscard]] bool hasDropped() const {
        std::scoped_lock lock(mutex_);
        return dropped_;
    }

private:
    const Direction direction_;
    std::atomic<std::uint64_t> delivered_{0};
    mutable std::mutex mutex_;
    Clock::time_point freeAt_{};
    std::optional<std::uint64_t> dropAfter_;
    bool dropped_ = false;
};

// Two sockets and a thread for each way between them.
class NetworkEmulator::Connection {
public:
    Connection(int client, int server, Line& up, Line& down, int stopEvent)
        : client_(client), server_(server), stopEvent_(stopEvent), wake_(::eventfd(0, EFD_CLOEXEC)) {
        // The handshake of a TCP connection: the client's first bytes leave a round trip later.
        const Clock::time_point handshake = Clock::now() + up.delay() + down.delay();
        upThread_ = std::thread([this, line = &up, handshake] { carry(client_, server_, *line, handshake); });
        downThread_ = std::thread([this, line = &down] { carry(server_, client_, *line, Clock::time_point{}); });
    }

    ~Connection() {
        if (upThread_.joinable()) {
            upThread_.join();
        }
        if (downThread_.joinable()) {
            downThread_.join();
        }
        ::close(wake_);
    }

    // Both ways are done and the sockets closed: the connection ended, was reset, or the emulator
    // stops.
    [[nodiscard]] bool ended() const { return waysRunning_ == 0; }

private:
    struct Chunk {
        std::vector<std::uint8_t> bytes;
        std::size_t sent = 0;
        Clock::time_point due;
    };

    void carry(int from, int to, Line& line, Clock::time_point notBefore) {
        pump(from, to, line, notBefore);
        // The last way to finish closes the connection: in order when both ended in order, else
        // with a reset, which the far ends see at once.
        if (--waysRunning_ == 0) {
            if (reset_ || waysOpen_ > 0) {
                resetOnClose(client_);
                resetOnClose(server_);
            }
            ::close(client_);
            ::close(server_);
        }
    }

    // Carries one way, `from` to `to`, until `from` ends and everything has been delivered, the
    // connection is reset, or the emulator stops.
    void pump(int from, int to, Line& line, Clock::time_point notBefore) {
        std::deque<Chunk> held;
        std::size_t heldBytes = 0;
        bool fromEnded = false;
        const std::size_t window = line.window();
        while (!reset_) {
            bool blocked = false;
            while (!held.empty() && held.front().due <= Clock::now()) {
                Chunk& chunk = held.front();
                const ssize_t sent = ::send(to, chunk.bytes.data() + chunk.sent, chunk.bytes.size() - chunk.sent,
                                            MSG_NOSIGNAL | MSG_DONTWAIT);
                if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                    blocked = true;
                    break;
                }
                if (sent < 0 && errno != EINTR) {
                    return reset();
                }
                if (sent > 0) {
                    chunk.sent += static_cast<std::size_t>(sent);
                    line.arrive(static_cast<std::size_t>(sent));
                }
                if (chunk.sent == chunk.bytes.size()) {
                    heldBytes -= chunk.bytes.size();
                    held.pop_front();
                }
            }
            if (fromEnded && held.empty()) {
                ::shutdown(to, SHUT_WR);
                --waysOpen_;
                return;
            }
            const bool reading = !fromEnded && heldBytes < window;
            std::vector<pollfd> descriptors = {{stopEvent_, POLLIN, 0}, {wake_, POLLIN, 0}};
            if (reading) {
                descriptors.push_back({from, POLLIN, 0});
            }
            if (blocked) {
                descriptors.push_back({to, POLLOUT, 0});
            }
            waitFor(descriptors, blocked || held.empty() ? std::nullopt : std::optional(held.front().due));
            if (descriptors[0].revents != 0 || descriptors[1].revents != 0) {
                return;
            }
            if (!reading || descriptors[2].revents == 0) {
                continue;
            }
            Chunk chunk;
            chunk.bytes.resize(std::min(kChunkBytes, window - heldBytes));
            const ssize_t got = ::recv(from, chunk.bytes.data(), chunk.bytes.size(), MSG_DONTWAIT);
            if (got == 0) {
                fromEnded = true;
            } else if (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                return reset();
            } else if (got > 0) {
                chunk.bytes.resize(static_cast<std::size_t>(got));
                if (line.takeDrop(chunk.bytes.size())) {
                    return reset();
                }
                chunk.due = line.schedule(chunk.bytes.size(), Clock::now(), notBefore);
                heldBytes += chunk.bytes.size();
                held.push_back(std::move(chunk));
            }
        }
    }

    // Ends both ways at once; the sockets are closed with a reset once both threads are done.
    void reset() {
        reset_ = true;
        signal(wake_);
    }

    const int client_;
    const int server_;
    const int stopEvent_;
    const int wake_;
    std::atomic<bool> reset_{false};
    // Ways that have not ended in order (their sender's end, everything delivered).
    std::atomic<int> waysOpen_{2};
    std::atomic<int> waysRunning_{2};
    std::thread upThread_;
    std::thread downThread_;
};

NetworkEmulator::Options NetworkEmulator::symmetric(int targetPort, std::chrono::microseconds roundTrip,
                                                    std::uint64_t bytesPerSecond) {
    const Direction way{roundTrip / 2, bytesPerSecond};
    return Options{targetPort, way, way};
}

NetworkEmulator::NetworkEmulator(Options options)
    : targetPort_(options.targetPort),
      stopEvent_(::eventfd(0, EFD_CLOEXEC)),
      up_(std::make_unique<Line>(options.up)),
      down_(std::make_unique<Line>(options.down)) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener_ < 0 || stopEvent_ < 0) {
        throw std::runtime_error("network emulator: no socket");
    }
    // Accepted sockets inherit it.
    setOption(listener_, SOL_SOCKET, SO_RCVBUF, kReceiveBuffer);
    sockaddr_in address = loopbackAddress(0);
    socklen_t length = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, SOMAXCONN) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(listener_);
        ::close(stopEvent_);
        throw std::runtime_error("network emulator: cannot listen on 127.0.0.1");
    }
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { acceptLoop(); });
}

NetworkEmulator::~NetworkEmulator() {
    signal(stopEvent_);
    acceptor_.join();
    std::vector<std::shared_ptr<Connection>> connections;
    {
        std::scoped_lock lock(mutex_);
        connections.swap(connections_);
    }
    // Each joins its threads and resets what is still open.
    connections.clear();
    ::close(listener_);
    ::close(stopEvent_);
}

std::string NetworkEmulator::baseURL() const {
    return "http://127.0.0.1:" + std::to_string(port_);
}

std::uint64_t NetworkEmulator::bytesUp() const {
    return up_->delivered();
}

std::uint64_t NetworkEmulator::bytesDown() const {
    return down_->delivered();
}

std::size_t NetworkEmulator::connectionsAccepted() const {
    std::scoped_lock lock(mutex_);
    return accepted_;
}

void NetworkEmulator::dropConnectionAfter(std::uint64_t bytes) {
    up_->armDrop(bytes);
}

bool NetworkEmulator::hasDropped() const {
    return up_->hasDropped();
}

void NetworkEmulator::acceptLoop() {
    for (;;) {
        std::vector<pollfd> descriptors = {{stopEvent_, POLLIN, 0}, {listener_, POLLIN, 0}};
        waitFor(descriptors, std::nullopt);
        if (descriptors[0].revents != 0) {
            return;
        }
        const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) {
            continue;
        }
        const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        setOption(server, SOL_SOCKET, SO_RCVBUF, kReceiveBuffer);
        const sockaddr_in target = loopbackAddress(targetPort_);
        if (server < 0 || ::connect(server, reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0) {
            // Nobody at the far end: the client's connection is refused, as far as it can tell.
            resetOnClose(client);
            ::close(client);
            if (server >= 0) {
                ::close(server);
            }
            continue;
        }
        // Bytes leave when the line says so, not when Nagle's algorithm would.
        setOption(client, IPPROTO_TCP, TCP_NODELAY, 1);
        setOption(server, IPPROTO_TCP, TCP_NODELAY, 1);
        reapEndedConnections();
        auto connection = std::make_shared<Connection>(client, server, *up_, *down_, stopEvent_);
        std::scoped_lock lock(mutex_);
        connections_.push_back(std::move(connection));
        ++accepted_;
    }
}

void NetworkEmulator::reapEndedConnections() {
    std::vector<std::shared_ptr<Connection>> ended;
    {
        std::scoped_lock lock(mutex_);
        const auto first = std::stable_partition(connections_.begin(), connections_.end(),
                                                 [](const auto& connection) { return !connection->ended(); });
        ended.assign(std::make_move_iterator(first), std::make_move_iterator(connections_.end()));
        connections_.erase(first, connections_.end());
    }
    // Their destructors join threads that have returned or are about to.
}

}  // namespace tomely::test
