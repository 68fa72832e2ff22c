#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "ConnectionClose.h"
#include "Faults.h"
#include "Shelf.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace tomely::shelf {

// The cookie that carries a session; HttpOnly, SameSite=Lax, and Secure under TLS.
inline constexpr const char* kSessionCookieName = "tomely_session";

struct ServerOptions {
    std::string host = "127.0.0.1";
    int port = 8750;  // 0 picks a free port
    std::filesystem::path dataDirectory;
    // Both or neither: with them the service speaks HTTPS only.
    std::optional<std::filesystem::path> tlsCertificate;
    std::optional<std::filesystem::path> tlsKey;
    ShelfSettings shelf;
    FaultSettings faults;
    LingerLimits linger;
    // Receives one line per request, on the worker thread that served it; stdout when unset.
    std::function<void(const std::string&)> log;
};

// The HTTP face of the shelf: the uploader's API under /api/author/shelf/upload/, the account
// pages and the shelf pages. Requests are served on a pool of worker threads of the HTTP
// library; run() blocks the calling thread until stop() is called from any other thread.
class ShelfServer {
public:
    // Opens the data directory and loads the TLS certificate; throws std::runtime_error.
    explicit ShelfServer(ServerOptions options);
    ~ShelfServer();
    ShelfServer(const ShelfServer&) = delete;
    ShelfServer& operator=(const ShelfServer&) = delete;

    // Binds and listens; connections wait in the backlog until run(). Returns the port (the
    // picked one when the options said 0). Throws std::runtime_error when the address is taken.
    int bind();
    // Serves until stop(). Requests in progress are finished before it returns.
    void run();
    // Thread-safe; also releases requests held by a stall fault.
    void stop();

    [[nodiscard]] Shelf& shelf() { return shelf_; }
    [[nodiscard]] bool usesTls() const { return options_.tlsCertificate.has_value(); }
    // "http://127.0.0.1:8750/" once bound.
    [[nodiscard]] std::string baseUrl() const;

private:
    void route();
    void routeApi();
    void routePages();
    [[nodiscard]] std::optional<Account> sessionOf(const httplib::Request& request);
    [[nodiscard]] std::string sessionCookie(const std::string& token) const;
    void logRequest(const httplib::Request& request, const httplib::Response& response) const;

    ServerOptions options_;
    Shelf shelf_;
    FaultInjector faults_;
    std::unique_ptr<httplib::Server> server_;
    // The HTTP library's stop() does nothing until its listen loop has started, so a stop that
    // comes early is remembered here and honoured by run() or waited out (see stop()).
    std::atomic<bool> stopRequested_{false};
    std::atomic<bool> runStarting_{false};
    int port_ = 0;
};

}  // namespace tomely::shelf
