// The network emulator the HTTP client's and the uploader's tests put between them and a server:
// that it delays, keeps order, shares its cap between connections, drops on request and stops.
// Durations are only ever checked from below: the emulator may be slow on a busy machine, never
// early.
#include "common/NetworkEmulator.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/LoopbackAddress.h"

namespace tomely::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A connected TCP socket whose every read and write gives up after ten seconds.
class Socket {
public:
    explicit Socket(int port) : socket_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        const timeval deadline{10, 0};
        ::setsockopt(socket_, SOL_SOCKET, SO_RCVTIMEO, &deadline, sizeof deadline);
        ::setsockopt(socket_, SOL_SOCKET, SO_SNDTIMEO, &deadline, sizeof deadline);
        const sockaddr_in address = loopbackAddress(port);
        connected_ = ::connect(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    }
    explicit Socket(int accepted, bool) : socket_(accepted), connected_(true) {
        const timeval deadline{10, 0};
        ::setsockopt(socket_, SOL_SOCKET, SO_RCVTIMEO, &deadline, sizeof deadline);
    }
    ~Socket() { ::close(socket_); }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    [[nodiscard]] bool connected() const { return connected_; }
    bool send(const std::string& bytes) {
        for (std::size_t sent = 0; sent < bytes.size();) {
            const ssize_t n = ::send(socket_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) {
                return false;
            }
            sent += static_cast<std::size_t>(n);
        }
        return true;
    }
    // Up to `count` bytes, fewer when the connection ends, errs or the deadline passes first;
    // with `whatComes`, what one read gives.
    std::string receive(std::size_t count, bool whatComes = false) {
        std::string bytes;
        char buffer[16384];
        while (bytes.size() < count && !(whatComes && !bytes.empty())) {
            const ssize_t n = ::recv(socket_, buffer, std::min(sizeof buffer, count - bytes.size()), 0);
            if (n <= 0) {
                lastErrno_ = n < 0 ? errno : 0;
                break;
            }
            bytes.append(buffer, static_cast<std::size_t>(n));
        }
        return bytes;
    }
    // The errno of the read that ended the last receive early; 0 when the peer ended in order.
    [[nodiscard]] int lastErrno() const { return lastErrno_; }

private:
    int socket_;
    bool connected_ = false;
    int lastErrno_ = 0;
};

// Accepts connections on 127.0.0.1 at a port the system picks and hands each to `serve` on a
// thread of its own; stops accepting when destroyed and joins its threads.
class TcpServer {
public:
    explicit TcpServer(std::function<void(Socket&)> serve)
        : listener_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)), serve_(std::move(serve)) {
        sockaddr_in address = loopbackAddress(0);
        socklen_t length = sizeof address;
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(listener_, 16);
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        acceptor_ = std::thread([this] {
            for (int accepted; (accepted = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;) {
                workers_.emplace_back([this, accepted] {
                    Socket socket(accepted, true);
                    serve_(socket);
                });
            }
        });
    }
    ~TcpServer() {
        ::shutdown(listener_, SHUT_RDWR);
        acceptor_.join();
        for (auto& worker : workers_) {
            worker.join();
        }
        ::close(listener_);
    }
    [[nodiscard]] int port() const { return port_; }

private:
    int listener_;
    int port_ = 0;
    std::function<void(Socket&)> serve_;
    std::thread acceptor_;
    std::vector<std::thread> workers_;
};

std::string pattern(std::size_t length) {
    std::string bytes(length, '\0');
    for (std::size_t i = 0; i < length; ++i) {
        bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xff);
    }
    return bytes;
}

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Sends back what it receives until the client ends.
void echo(Socket& socket) {
    for (std::string bytes; !(bytes = socket.receive(16384, true)).empty() && socket.send(bytes);) {
    }
}

TEST(NetworkEmulatorTest, EachWayIsDelayedAndKeepsItsOrderAndTheFirstBytesWaitForTheHandshake) {
    TcpServer server(echo);
    NetworkEmulator line({server.port(), {60ms, 0}, {20ms, 0}});
    const std::string sent = pattern(3'000'000);
    const auto start = Clock::now();
    Socket client(line.port());
    ASSERT_TRUE(client.connected());
    std::thread sender([&] { EXPECT_TRUE(client.send(sent)); });
    const std::string first = client.receive(1);
    const double firstSeconds = secondsSince(start);
    const std::string rest = client.receive(sent.size() - 1);
    sender.join();
    EXPECT_EQ(first + rest, sent) << "every byte, in order";
    // Handshake (60 + 20 ms), then there (60 ms) and back (20 ms).
    EXPECT_GE(firstSeconds, 0.160);
    EXPECT_EQ(line.bytesUp(), sent.size());
    EXPECT_EQ(line.bytesDown(), sent.size());
    EXPECT_EQ(line.connectionsAccepted(), 1U);
}

TEST(NetworkEmulatorTest, ConnectionsShareTheCapOfTheLine) {
    constexpr std::size_t kEach = 100'000;
    std::promise<void> bothIn;
    std::shared_future<void> bothInFuture = bothIn.get_future().share();
    std::atomic<int> received{0};
    TcpServer server([&](Socket& socket) {
        if (socket.receive(kEach).size() == kEach && ++received == 2) {
            bothIn.set_value();
        }
    });
    // 200,000 bytes at 200,000 bytes a second: a second, whether one connection sends them or two.
    NetworkEmulator line({server.port(), {0us, 200'000}, {0us, 0}});
    Socket first(line.port());
    Socket second(line.port());
    const auto start = Clock::now();
    std::thread one([&] { EXPECT_TRUE(first.send(pattern(kEach))); });
    std::thread two([&] { EXPECT_TRUE(second.send(pattern(kEach))); });
    ASSERT_EQ(bothInFuture.wait_for(10s), std::future_status::ready);
    EXPECT_GE(secondsSince(start), 0.99) << "each connection had a line of its own";
    one.join();
    two.join();
}

TEST(NetworkEmulatorTest, ADropResetsTheConnectionThatCarriesTheByteAndOnlyThatOne) {
    TcpServer server(echo);
    NetworkEmulator line(NetworkEmulator::symmetric(server.port(), 0us, 0));
    {
        Socket quiet(line.port());
        ASSERT_TRUE(quiet.send("first"));
        ASSERT_EQ(quiet.receive(5), "first");
    }
    line.dropConnectionAfter(1000);
    {
        Socket dropped(line.port());
        EXPECT_TRUE(dropped.send(pattern(999)));
        EXPECT_EQ(dropped.receive(999), pattern(999)) << "999 bytes pass";
        EXPECT_FALSE(line.hasDropped());
        (void)dropped.send("x");
        EXPECT_EQ(dropped.receive(1), "");
        EXPECT_EQ(dropped.lastErrno(), ECONNRESET);
        EXPECT_TRUE(line.hasDropped());
    }
    Socket after(line.port());
    ASSERT_TRUE(after.send(pattern(5000)));
    EXPECT_EQ(after.receive(5000), pattern(5000)) << "a drop strikes once";
}

TEST(NetworkEmulatorTest, NobodyAtTheFarEndIsAResetConnection) {
    int closedPort = 0;
    {
        TcpServer gone(echo);
        closedPort = gone.port();
    }
    NetworkEmulator line(NetworkEmulator::symmetric(closedPort, 0us, 0));
    Socket client(line.port());
    (void)client.send("anyone?");
    EXPECT_EQ(client.receive(1), "");
    EXPECT_EQ(client.lastErrno(), ECONNRESET);
}

TEST(NetworkEmulatorTest, DestroyedItResetsWhatIsOpenAndListensNoMore) {
    TcpServer server(echo);
    auto line = std::make_unique<NetworkEmulator>(NetworkEmulator::symmetric(server.port(), 40ms, 1'000'000));
    const int port = line->port();
    Socket client(port);
    ASSERT_TRUE(client.send("held"));
    ASSERT_EQ(client.receive(4), "held");
    line.reset();
    EXPECT_EQ(client.receive(1), "");
    EXPECT_EQ(client.lastErrno(), ECONNRESET);
    EXPECT_FALSE(Socket(port).connected());
}

}  // namespace
}  // namespace tomely::test
