#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace tomely::test {

// A wide-area line between a client and a server on loopback, for tests and benchmarks: a TCP
// proxy on 127.0.0.1, at a port the system picks, that forwards each connection it accepts to
// 127.0.0.1:targetPort.
//
// Each direction has a one-way delay and a rate cap. The cap belongs to the line, not to one
// connection: connections that send at once share it, in the order their bytes reach the proxy.
// Bytes keep their order within a connection. A connection's first bytes wait one round trip
// more, the time a TCP handshake takes on such a line. The proxy takes bytes from a sender only
// as fast as the line carries them (it holds what the delay keeps in flight and a little more),
// so a sender meets back-pressure as it would on a real line. dropConnectionAfter() resets the
// connection that carries a given byte, as a line that fails does.
//
// Threads: one accepts, and each connection has one per direction; every method is thread-safe.
// The emulator stops when destroyed: it resets the connections still open and joins its threads.
class NetworkEmulator {
public:
    struct Direction {
        // Added to every byte's way across.
        std::chrono::microseconds delay{0};
        // The line's rate this way; 0: no cap.
        std::uint64_t bytesPerSecond = 0;
    };
    struct Options {
        int targetPort = 0;
        Direction up;    // client to server
        Direction down;  // server to client
    };

    // Bytes per second of a line of `megabits` Mbit/s.
    [[nodiscard]] static constexpr std::uint64_t megabitsPerSecond(double megabits) {
        return static_cast<std::uint64_t>(megabits * 125'000.0);
    }
    // A line with `roundTrip` split evenly between the two ways and the same cap each way.
    [[nodiscard]] static Options symmetric(int targetPort, std::chrono::microseconds roundTrip,
                                           std::uint64_t bytesPerSecond);

    // Listens at once; throws std::runtime_error when it cannot.
    explicit NetworkEmulator(Options options);
    ~NetworkEmulator();
    NetworkEmulator(const NetworkEmulator&) = delete;
    NetworkEmulator& operator=(const NetworkEmulator&) = delete;

    [[nodiscard]] int port() const { return port_; }
    // "http://127.0.0.1:<port>", without a trailing slash.
    [[nodiscard]] std::string baseURL() const;

    // Bytes delivered so far over all connections, each way.
    [[nodiscard]] std::uint64_t bytesUp() const;
    [[nodiscard]] std::uint64_t bytesDown() const;
    [[nodiscard]] std::size_t connectionsAccepted() const;
    // Resets, both ways, the connection over which the `bytes`-th byte sent upward from now
    // reaches the proxy (1: the next one), together with what the line still holds of it. Once;
    // a later call replaces an earlier one that has not struck yet.
    void dropConnectionAfter(std::uint64_t bytes);
    // Whether the last dropConnectionAfter() has struck.
    [[nodiscard]] bool hasDropped() const;

private:
    class Line;
    class Connection;

    void acceptLoop();
    // Joins the threads of connections that have ended.
    void reapEndedConnections();

    int listener_ = -1;
    int port_ = 0;
    int targetPort_ = 0;
    // Written once to wake every thread of the emulator when it stops.
    int stopEvent_ = -1;
    std::unique_ptr<Line> up_;
    std::unique_ptr<Line> down_;

    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<Connection>> connections_;
    std::size_t accepted_ = 0;
    std::thread acceptor_;
};

}  // namespace tomely::test
