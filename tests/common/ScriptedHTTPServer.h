#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "common/SelfSignedCertificate.h"

namespace tomely::test {

// One request as the server received it.
struct RecordedRequest {
    std::string method;
    std::string target;
    // In the order received, names as spelled by the client.
    std::vector<std::pair<std::string, std::string>> headers;
    // The body (of Content-Length bytes); empty when the server keeps no bodies.
    std::string body;
    std::uint64_t bodyLength = 0;
    // CRC-32 of the body, kept even when the body itself is not.
    std::uint32_t bodyCRC32 = 0;
    // Counts the connections the server accepted, from 0.
    std::size_t connectionIndex = 0;

    // The value of the first header named `name` (any letter case); "" when absent.
    [[nodiscard]] std::string header(std::string_view name) const;
    [[nodiscard]] bool hasHeader(std::string_view name) const { return headerCount(name) > 0; }
    [[nodiscard]] std::size_t headerCount(std::string_view name) const;
};

// What the server answers to one request.
struct ScriptedResponse {
    int status = 200;
    std::string reason = "OK";
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    // Sends exactly these bytes instead of a built answer, then closes: malformed, cut-short or
    // chunked answers, and with "" a hang-up without a word.
    std::optional<std::string> raw;
    // Holds the answer until releaseHeldAnswers() is called (or the server stops); answers held
    // after that call are sent at once.
    bool holdUntilReleased = false;
    // Once releaseHeldAnswers() is called, these bytes follow the answer on the idle connection,
    // which the server then closes (a late "408 Request Timeout", say; empty: it only closes).
    std::optional<std::string> lateBytes;
    // Waits this long before answering: the service at work.
    std::chrono::milliseconds delay{0};
    // Sends the answer (built or raw) `dripBytes` at a time with `dripPause` between the pieces; 0:
    // all at once. A trickle, or, with a pause longer than the test, an answer that stalls after
    // its first piece. Waits end early when the server stops.
    std::size_t dripBytes = 0;
    std::chrono::milliseconds dripPause{0};

    [[nodiscard]] static ScriptedResponse text(int status, std::string body,
                                               std::vector<std::pair<std::string, std::string>> headers = {});
    [[nodiscard]] static ScriptedResponse rawBytes(std::string bytes);
};

// gzip form of `data`, made with zlib directly (independent of the code under test).
[[nodiscard]] std::string gzip(std::string_view data);

// An HTTP/1.1 server on 127.0.0.1 at a port the system picks, for tests and benchmarks. It
// records every request exactly as received and answers from a script: queued answers in order,
// then the handler (by default 404 "Not scripted"). Connections are kept open between requests
// unless an answer closes them. Every connection has its own thread; the destructor stops them
// all. With `tls`, it speaks HTTPS with a self-signed certificate made at start.
class ScriptedHTTPServer {
public:
    struct Options {
        bool tls = false;
        // Bodies are counted and checksummed but not kept (a sink for large uploads).
        bool keepBodies = true;
    };

    ScriptedHTTPServer();
    explicit ScriptedHTTPServer(Options options);
    ~ScriptedHTTPServer();
    ScriptedHTTPServer(const ScriptedHTTPServer&) = delete;
    ScriptedHTTPServer& operator=(const ScriptedHTTPServer&) = delete;

    [[nodiscard]] int port() const { return port_; }
    // "http://127.0.0.1:<port>" (https with TLS), without a trailing slash.
    [[nodiscard]] std::string baseURL() const;
    // baseURL() followed by `path`.
    [[nodiscard]] std::string url(std::string_view path) const;

    // Thread-safe. Queued answers are used in order, before the handler.
    void enqueue(ScriptedResponse response);
    void setHandler(std::function<ScriptedResponse(const RecordedRequest&)> handler);
    void releaseHeldAnswers();

    [[nodiscard]] std::vector<RecordedRequest> requests() const;
    [[nodiscard]] std::size_t requestCount() const;
    // Waits (on a condition, not by sleeping) until `count` requests have been recorded.
    bool waitForRequests(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Waits until `count` connections have had their late bytes sent and been closed.
    bool waitForLateBytes(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10));

private:
    class Connection;

    void acceptLoop();
    void serve(std::shared_ptr<Connection> connection, std::size_t index);
    ScriptedResponse answerFor(const RecordedRequest& request);
    bool waitForRelease();
    // Waits `pause` unless the server stops first; false when it stops.
    bool pauseUnlessStopping(std::chrono::milliseconds pause);
    // Writes `bytes` as `answer` says (at once or dripped); false when the connection or the server ends.
    bool writeAnswer(Connection& connection, std::string_view bytes, const ScriptedResponse& answer);

    Options options_;
    SSLContext tls_;
    int listener_ = -1;
    int port_ = 0;
    std::thread acceptor_;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool stopping_ = false;
    bool released_ = false;
    std::deque<ScriptedResponse> script_;
    std::function<ScriptedResponse(const RecordedRequest&)> handler_;
    std::vector<RecordedRequest> requests_;
    // Open connections only; a connection leaves when its thread is done with it.
    std::vector<std::shared_ptr<Connection>> connections_;
    std::size_t connectionsAccepted_ = 0;
    std::size_t lateBytesSent_ = 0;
    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    std::vector<Worker> workers_;
};

}  // namespace tomely::test
