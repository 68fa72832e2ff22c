#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "ConnectionClose.h"
#include "ConnectionGate.h"
#include "Faults.h"
#include "HttpBodies.h"
#include "Shelf.h"
#include "SignInThrottle.h"

namespace httplib {
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
    ConnectionLimits connections;
    SignInLimits signIn;
    // Receives one line per request, on the worker thread that served it; stdout when unset.
    std::function<void(const std::string&)> log;
};

// The HTTP face of the shelf: the uploader's API under /api/author/shelf/upload/, the account
// pages and the shelf pages. Connections wait on the thread that calls run() until their request
// has arrived, and are then served on a pool of workers (ConnectionGate); run() blocks until
// stop() is called from any other thread.
class Router;

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
    void answerSignInOrPart(const httplib::Request& request, httplib::Response& response,
                            const httplib::ContentReader& reader);
    void answerManifest(const httplib::Request& request, httplib::Response& response,
                        const httplib::ContentReader& reader, const std::string& guid);
    void answerPart(const httplib::Request& request, httplib::Response& response, const Account& account,
                    const std::string& guid, RequestBody body);
    [[nodiscard]] std::optional<Account> sessionOf(const httplib::Request& request);
    struct SignIn {
        std::optional<Account> account;
        std::optional<std::chrono::seconds> retryAfter;  // set when the attempt was refused unchecked
    };
    // Shelf::signIn() within the sign-in limits of the account and of the client's address.
    [[nodiscard]] SignIn throttledSignIn(const httplib::Request& request, const std::string& email,
                                         const std::string& password);
    [[nodiscard]] std::string sessionCookie(const std::string& token) const;
    void logRequest(const httplib::Request& request, const httplib::Response& response) const;

    ServerOptions options_;
    Shelf shelf_;
    FaultInjector faults_;
    SignInThrottle signIns_;
    std::unique_ptr<TlsContext> tls_;
    std::unique_ptr<Router> server_;
    ConnectionGate gate_;
    int port_ = 0;
};

}  // namespace tomely::shelf
