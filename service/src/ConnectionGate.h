#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "RequestHead.h"
#include "Transport.h"

namespace httplib {
class Stream;
class ThreadPool;
}  // namespace httplib

namespace tomely::shelf {

struct ConnectionLimits {
    // From the connect, or from the first byte of a kept-alive connection's next request, until
    // the request's head and the first `bodyBytes` of its body have arrived.
    std::chrono::milliseconds headTime = std::chrono::seconds(10);
    // How long a kept-alive connection may wait for its next request.
    std::chrono::milliseconds idleTime = std::chrono::seconds(5);
    // How long a worker waits for each read and write of a body or an answer.
    std::chrono::milliseconds ioTime = std::chrono::seconds(5);
    std::size_t headBytes = 64U * 1024U;
    std::size_t bodyBytes = kMaxFormBodyBytes;
    // Connections waiting for a request; beyond it, the one nearest its deadline is closed.
    std::size_t waiting = 4096;
    std::size_t requestsPerConnection = 100;
    // Enough that eight uploaders sending parts still leave room for browsers.
    std::size_t workers = 32;
};

// One accepted connection: its transport, what has been read of its next request, and who is at
// either end. Used by one thread at a time.
struct Connection {
    std::unique_ptr<Transport> transport;
    std::string received;  // read from the transport, not yet taken by the HTTP library
    std::size_t taken = 0;
    std::string remoteAddress;
    int remotePort = -1;
    std::string localAddress;
    int localPort = -1;
    std::size_t requests = 0;  // answered so far
    bool idle = false;         // kept alive, nothing of the next request yet
    std::chrono::steady_clock::time_point deadline;
    unsigned interest = 0;  // epoll events waited for
};

// Serves a listening socket. One thread accepts every connection and holds it until its request
// head, and the start of its body, have arrived, or closes it when its deadline passes first; only
// then does one of the workers read and answer the request. A kept-alive connection comes back to
// wait for its next request. So a client that sends slowly, or not at all, never holds a worker.
class ConnectionGate {
public:
    // Reads one request from the stream and answers it; true when the connection may stay open.
    // Runs on a worker thread.
    using Serve = std::function<bool(httplib::Stream& stream, bool lastOnConnection)>;

    // `tls` may be null (plain HTTP); it must outlive the gate.
    ConnectionGate(ConnectionLimits limits, const TlsContext* tls, Serve serve);
    ~ConnectionGate();
    ConnectionGate(const ConnectionGate&) = delete;
    ConnectionGate& operator=(const ConnectionGate&) = delete;

    // Serves the non-blocking listening socket until stop(), then closes the waiting connections
    // and returns once the workers have finished the requests they took.
    void run(int listeningSocket);
    // Thread-safe; may come before run(), which then returns at once.
    void stop();
    [[nodiscard]] const std::atomic<bool>& stopping() const { return stopping_; }

private:
    using Deadline = std::pair<std::chrono::steady_clock::time_point, int>;

    void acceptAll(int listeningSocket);
    void wait(std::unique_ptr<Connection> connection, std::chrono::milliseconds limit);
    // Reads what has arrived and hands the connection on once its request has.
    void advance(int socket);
    void watch(Connection& connection, unsigned events);
    void setDeadline(Connection& connection, std::chrono::steady_clock::time_point deadline);
    [[nodiscard]] std::unique_ptr<Connection> release(int socket);
    void closeExpired();
    [[nodiscard]] int millisecondsToNextDeadline() const;
    void takeReturned();
    // On a worker: answers requests while they are already there, then gives the connection back.
    void serve(std::shared_ptr<Connection> connection);

    const ConnectionLimits limits_;
    const TlsContext* const tls_;
    const Serve serve_;
    int epoll_ = -1;
    int wake_ = -1;  // an eventfd: stop() and returned connections
    std::atomic<bool> stopping_{false};
    std::unordered_map<int, std::unique_ptr<Connection>> waiting_;
    std::set<Deadline> deadlines_;
    std::unique_ptr<httplib::ThreadPool> workers_;
    std::mutex returnedMutex_;
    std::vector<std::shared_ptr<Connection>> returned_;
};

}  // namespace tomely::shelf
