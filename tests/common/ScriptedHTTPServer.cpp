#include "common/ScriptedHTTPServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <csignal>
#include <stdexcept>

namespace tomely::test {
namespace {

// Larger heads are refused by closing the connection.
constexpr std::size_t kLargestHead = 1024 * 1024;

bool sameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

std::string_view trimmed(std::string_view text) {
    const std::size_t begin = text.find_first_not_of(" \t");
    return begin == text.npos ? std::string_view() : text.substr(begin, text.find_last_not_of(" \t") + 1 - begin);
}

}  // namespace

// --- Recorded requests and scripted answers --------------------------------------------------

std::string RecordedRequest::header(std::string_view name) const {
    for (const auto& [key, value] : headers) {
        if (sameName(key, name)) {
            return value;
        }
    }
    return {};
}

std::size_t RecordedRequest::headerCount(std::string_view name) const {
    return static_cast<std::size_t>(std::count_if(headers.begin(), headers.end(),
                                                  [name](const auto& entry) { return sameName(entry.first, name); }));
}

ScriptedResponse ScriptedResponse::text(int status, std::string body,
                                        std::vector<std::pair<std::string, std::string>> headers) {
    ScriptedResponse response;
    response.status = status;
    response.reason = status == 200 ? "OK" : "Status " + std::to_string(status);
    response.headers = std::move(headers);
    response.body = std::move(body);
    return response;
}

ScriptedResponse ScriptedResponse::rawBytes(std::string bytes) {
    ScriptedResponse response;
    response.raw = std::move(bytes);
    return response;
}

std::string gzip(std::string_view data) {
    z_stream stream{};
    if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        throw std::runtime_error("gzip: deflateInit2");
    }
    std::string output(deflateBound(&stream, static_cast<uLong>(data.size())) + 32, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(output.data());
    stream.avail_out = static_cast<uInt>(output.size());
    const int result = deflate(&stream, Z_FINISH);
    output.resize(stream.total_out);
    deflateEnd(&stream);
    if (result != Z_STREAM_END) {
        throw std::runtime_error("gzip: deflate");
    }
    return output;
}

// --- One connection ----------------------------------------------------------------------

class ScriptedHTTPServer::Connection {
public:
    Connection(int descriptor, SSL* ssl) : descriptor_(descriptor), ssl_(ssl) {}
    ~Connection() {
        if (ssl_ != nullptr) {
            SSL_free(ssl_);
        }
        ::close(descriptor_);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // More bytes into the buffer; false at the end of the stream or on an error.
    bool fill() {
        char chunk[16384];
        const long count =
            ssl_ != nullptr ? SSL_read(ssl_, chunk, sizeof chunk) : ::recv(descriptor_, chunk, sizeof chunk, 0);
        if (count <= 0) {
            return false;
        }
        buffer.append(chunk, static_cast<std::size_t>(count));
        return true;
    }

    bool writeAll(std::string_view data) {
        while (!data.empty()) {
            const long count = ssl_ != nullptr ? SSL_write(ssl_, data.data(), static_cast<int>(data.size()))
                                               : ::send(descriptor_, data.data(), data.size(), MSG_NOSIGNAL);
            if (count <= 0) {
                return false;
            }
            data.remove_prefix(static_cast<std::size_t>(count));
        }
        return true;
    }

    // From any thread: unblocks a read or write in progress.
    void interrupt() { ::shutdown(descriptor_, SHUT_RDWR); }

    // Takes `count` bytes from the stream, handing them to `consume` as they come.
    template <typename Consumer>
    bool readExactly(std::uint64_t count, Consumer&& consume) {
        while (count > 0) {
            if (buffer.empty() && !fill()) {
                return false;
            }
            const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(count, buffer.size()));
            consume(std::string_view(buffer).substr(0, take));
            buffer.erase(0, take);
            count -= take;
        }
        return true;
    }

    // One line without its CRLF; false when the stream ends first or the line is too long.
    bool readLine(std::string& line) {
        for (;;) {
            const std::size_t end = buffer.find("\r\n");
            if (end != std::string::npos) {
                line = buffer.substr(0, end);
                buffer.erase(0, end + 2);
                return true;
            }
            if (buffer.size() > kLargestHead || !fill()) {
                return false;
            }
        }
    }

    std::string buffer;

private:
    int descriptor_;
    SSL* ssl_;
};

// --- The server ----------------------------------------------------------------------------

ScriptedHTTPServer::ScriptedHTTPServer() : ScriptedHTTPServer(Options{}) {}

ScriptedHTTPServer::ScriptedHTTPServer(Options options) : options_(options) {
    // A client that hangs up while we answer must not end the test process.
    std::signal(SIGPIPE, SIG_IGN);
    if (options_.tls) {
        tls_ = makeSelfSignedServerContext();
    }
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 64) != 0 || ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error("ScriptedHTTPServer: cannot listen on 127.0.0.1");
    }
    port_ = ntohs(address.sin_port);
    handler_ = [](const RecordedRequest&) { return ScriptedResponse::text(404, "Not scripted"); };
    acceptor_ = std::thread([this] { acceptLoop(); });
}

ScriptedHTTPServer::~ScriptedHTTPServer() {
    std::vector<Worker> workers;
    {
        std::scoped_lock lock(mutex_);
        stopping_ = true;
        for (const auto& connection : connections_) {
            connection->interrupt();
        }
    }
    changed_.notify_all();
    // Wakes the acceptor: on Linux, accept() on a listener that was shut down fails at once.
    ::shutdown(listener_, SHUT_RDWR);
    acceptor_.join();
    {
        std::scoped_lock lock(mutex_);
        workers.swap(workers_);
    }
    for (auto& worker : workers) {
        worker.thread.join();
    }
    ::close(listener_);
}

std::string ScriptedHTTPServer::baseURL() const {
    return std::string(options_.tls ? "https" : "http") + "://127.0.0.1:" + std::to_string(port_);
}

std::string ScriptedHTTPServer::url(std::string_view path) const {
    return baseURL() + std::string(path);
}

void ScriptedHTTPServer::enqueue(ScriptedResponse response) {
    std::scoped_lock lock(mutex_);
    script_.push_back(std::move(response));
}

void ScriptedHTTPServer::setHandler(std::function<ScriptedResponse(const RecordedRequest&)> handler) {
    std::scoped_lock lock(mutex_);
    handler_ = std::move(handler);
}

void ScriptedHTTPServer::releaseHeldAnswers() {
    {
        std::scoped_lock lock(mutex_);
        released_ = true;
    }
    changed_.notify_all();
}

std::vector<RecordedRequest> ScriptedHTTPServer::requests() const {
    std::scoped_lock lock(mutex_);
    return requests_;
}

std::size_t ScriptedHTTPServer::requestCount() const {
    std::scoped_lock lock(mutex_);
    return requests_.size();
}

bool ScriptedHTTPServer::waitForRequests(std::size_t count, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return requests_.size() >= count; });
}

bool ScriptedHTTPServer::waitForLateBytes(std::size_t count, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return lateBytesSent_ >= count; });
}

void ScriptedHTTPServer::acceptLoop() {
    for (;;) {
        const int descriptor = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (descriptor < 0) {
            std::scoped_lock lock(mutex_);
            if (stopping_) {
                return;
            }
            continue;
        }
        SSL* ssl = nullptr;
        if (tls_) {
            ssl = SSL_new(tls_.get());
            SSL_set_fd(ssl, descriptor);
            SSL_set_accept_state(ssl);
        }
        auto connection = std::make_shared<Connection>(descriptor, ssl);
        std::scoped_lock lock(mutex_);
        if (stopping_) {
            return;
        }
        // Threads whose connection has ended are joined here, so a long run does not pile them up.
        std::erase_if(workers_, [](Worker& worker) {
            if (!worker.done->load()) {
                return false;
            }
            worker.thread.join();
            return true;
        });
        const std::size_t index = connectionsAccepted_++;
        connections_.push_back(connection);
        auto done = std::make_shared<std::atomic<bool>>(false);
        workers_.push_back(Worker{std::thread([this, connection, index, done] {
                                      serve(connection, index);
                                      {
                                          std::scoped_lock finished(mutex_);
                                          std::erase(connections_, connection);
                                      }
                                      *done = true;
                                  }),
                                  done});
    }
}

bool ScriptedHTTPServer::waitForRelease() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return released_ || stopping_; });
    return !stopping_;
}

bool ScriptedHTTPServer::pauseUnlessStopping(std::chrono::milliseconds pause) {
    std::unique_lock lock(mutex_);
    return !changed_.wait_for(lock, pause, [this] { return stopping_; });
}

bool ScriptedHTTPServer::writeAnswer(Connection& connection, std::string_view bytes, const ScriptedResponse& answer) {
    if (answer.dripBytes == 0) {
        return connection.writeAll(bytes);
    }
    while (!bytes.empty()) {
        const std::string_view piece = bytes.substr(0, answer.dripBytes);
        bytes.remove_prefix(piece.size());
        if (!connection.writeAll(piece) || (!bytes.empty() && !pauseUnlessStopping(answer.dripPause))) {
            return false;
        }
    }
    return true;
}

ScriptedResponse ScriptedHTTPServer::answerFor(const RecordedRequest& request) {
    std::function<ScriptedResponse(const RecordedRequest&)> handler;
    {
        std::scoped_lock lock(mutex_);
        if (!script_.empty()) {
            ScriptedResponse next = std::move(script_.front());
            script_.pop_front();
            return next;
        }
        handler = handler_;
    }
    return handler(request);
}

void ScriptedHTTPServer::serve(std::shared_ptr<Connection> connection, std::size_t index) {
    // Whatever way serving ends, the client sees the connection close.
    struct Hangup {
        Connection& connection;
        ~Hangup() { connection.interrupt(); }
    } hangup{*connection};
    // With TLS the handshake happens inside the first read; a client that refuses the
    // certificate ends it there.
    for (;;) {
        RecordedRequest request;
        request.connectionIndex = index;
        std::string line;
        if (!connection->readLine(line)) {
            return;
        }
        std::size_t headLength = line.size();
        const std::size_t firstSpace = line.find(' ');
        const std::size_t lastSpace = line.rfind(' ');
        if (firstSpace == std::string::npos || lastSpace == firstSpace) {
            return;
        }
        request.method = line.substr(0, firstSpace);
        request.target = line.substr(firstSpace + 1, lastSpace - firstSpace - 1);
        for (;;) {
            if (!connection->readLine(line) || (headLength += line.size()) > kLargestHead) {
                return;
            }
            if (line.empty()) {
                break;
            }
            const std::size_t colon = line.find(':');
            if (colon != std::string::npos) {
                request.headers.emplace_back(line.substr(0, colon), std::string(trimmed(line.substr(colon + 1))));
            }
        }
        uLong crc = crc32(0L, Z_NULL, 0);
        const auto consume = [&](std::string_view piece) {
            request.bodyLength += piece.size();
            crc = crc32(crc, reinterpret_cast<const Bytef*>(piece.data()), static_cast<uInt>(piece.size()));
            if (options_.keepBodies) {
                request.body.append(piece);
            }
        };
        // The client always announces its body's length; a chunked body is not understood here.
        if (request.hasHeader("Transfer-Encoding")) {
            return;
        }
        if (request.hasHeader("Content-Length") &&
            !connection->readExactly(std::stoull(request.header("Content-Length")), consume)) {
            return;
        }
        request.bodyCRC32 = static_cast<std::uint32_t>(crc);
        ScriptedResponse answer = answerFor(request);
        {
            std::scoped_lock lock(mutex_);
            requests_.push_back(request);
        }
        changed_.notify_all();
        if ((answer.holdUntilReleased && !waitForRelease()) ||
            (answer.delay.count() > 0 && !pauseUnlessStopping(answer.delay))) {
            return;
        }
        if (answer.raw) {
            writeAnswer(*connection, *answer.raw, answer);
            return;
        }
        std::string head = "HTTP/1.1 " + std::to_string(answer.status) + " " + answer.reason + "\r\n";
        bool hasLength = false;
        for (const auto& [name, value] : answer.headers) {
            head += name + ": " + value + "\r\n";
            hasLength = hasLength || sameName(name, "Content-Length");
        }
        if (!hasLength) {
            head += "Content-Length: " + std::to_string(answer.body.size()) + "\r\n";
        }
        // No body follows the head of an answer to HEAD.
        if (!writeAnswer(*connection, head + "\r\n" + (request.method == "HEAD" ? "" : answer.body), answer)) {
            return;
        }
        if (answer.lateBytes) {
            if (waitForRelease()) {
                connection->writeAll(*answer.lateBytes);
                // Closed before it is counted, so a waiting test finds the connection dead.
                connection->interrupt();
                {
                    std::scoped_lock lock(mutex_);
                    ++lateBytesSent_;
                }
                changed_.notify_all();
            }
            return;
        }
    }
}

}  // namespace tomely::test
