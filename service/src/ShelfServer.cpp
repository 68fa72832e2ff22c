#include "ShelfServer.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <iostream>
#include <stdexcept>
#include <string_view>

#include <httplib.h>

#include "FormFields.h"
#include "HttpBodies.h"
#include "Manifest.h"
#include "RequestHead.h"
#include "RequestLog.h"
#include "Router.h"

namespace tomely::shelf {

namespace {

// The upload calls under this path read their bodies themselves (routeApi), against limits of
// their own that their refusals name.
constexpr std::string_view kUploadCallPrefix = "/api/author/shelf/upload/";

bool readsItsOwnBody(const httplib::Request& request) {
    return request.method == "POST" &&
           std::string_view(request.path).substr(0, kUploadCallPrefix.size()) == kUploadCallPrefix;
}

std::string tooLargeReason() {
    return "the request body is larger than " + std::to_string(kMaxFormBodyBytes) + " bytes";
}

std::unique_ptr<TlsContext> makeTlsContext(const ServerOptions& options) {
    if (options.tlsCertificate.has_value() != options.tlsKey.has_value()) {
        throw std::runtime_error("--tls-cert and --tls-key go together");
    }
    return options.tlsCertificate ? std::make_unique<TlsContext>(*options.tlsCertificate, *options.tlsKey) : nullptr;
}

}  // namespace

void Router::closeListeningSocket() {
    const socket_t socket = svr_sock_.exchange(INVALID_SOCKET);
    if (socket != INVALID_SOCKET) {
        close(socket);
    }
}

ShelfServer::ShelfServer(ServerOptions options)
    : options_(std::move(options)),
      shelf_(options_.dataDirectory, options_.shelf),
      faults_(options_.faults),
      signIns_(options_.signIn),
      tls_(makeTlsContext(options_)),
      server_(std::make_unique<Router>()),
      gate_(options_.connections, tls_.get(),
            [this](httplib::Stream& stream, bool last) { return server_->serve(stream, last); }) {
    // A client that hangs up mid-answer must cost an error return, not the process.
    std::signal(SIGPIPE, SIG_IGN);
    // The library applies this to the upload calls' own reading as well; page forms are held to
    // their smaller limit before routing.
    server_->set_payload_max_length(kMaxManifestBytes);
    // Answers go out as headers, then body; without this the body waits for a delayed ACK.
    server_->set_tcp_nodelay(true);
    // The library's "Keep-Alive" header says as much; its default (5) would tell clients that
    // count on more (such as the uploader, which reuses a connection only when "max" is above 5)
    // to open a new connection for every request.
    server_->set_keep_alive_max_count(options_.connections.requestsPerConnection);
    // The library's default adds SO_REUSEPORT, which would let a second service share the port
    // silently; a taken port must be an error instead.
    server_->set_socket_options([](socket_t socket) {
        const int yes = 1;
        setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    route();
}

ShelfServer::~ShelfServer() {
    stop();
    server_->closeListeningSocket();
}

int ShelfServer::bind() {
    if (options_.port == 0) {
        port_ = server_->bind_to_any_port(options_.host);
    } else {
        port_ = server_->bind_to_port(options_.host, options_.port) ? options_.port : -1;
    }
    if (port_ <= 0) {
        throw std::runtime_error("cannot listen on " + options_.host + ":" + std::to_string(options_.port));
    }
    // The library's backlog is short; many clients connecting at once must wait for the gate to
    // accept them, not see their connects refused or retried.
    const int socket = server_->listeningSocket();
    listen(socket, SOMAXCONN);
    fcntl(socket, F_SETFL, fcntl(socket, F_GETFL) | O_NONBLOCK);
    return port_;
}

void ShelfServer::run() {
    gate_.run(server_->listeningSocket());
}

void ShelfServer::stop() {
    faults_.releaseStalls();
    gate_.stop();
}

std::string ShelfServer::baseUrl() const {
    return std::string(usesTls() ? "https" : "http") + "://" + options_.host + ":" + std::to_string(port_) + "/";
}

std::optional<Account> ShelfServer::sessionOf(const httplib::Request& request) {
    for (std::size_t i = 0; i < request.get_header_value_count("Cookie"); ++i) {
        if (auto token = cookieValue(request.get_header_value("Cookie", i), kSessionCookieName)) {
            if (auto account = shelf_.sessionAccount(*token)) {
                noteRequestAccount(account->email);
                return account;
            }
        }
    }
    return std::nullopt;
}

ShelfServer::SignIn ShelfServer::throttledSignIn(const httplib::Request& request, const std::string& email,
                                                 const std::string& password) {
    const auto admission = signIns_.admit(email, request.remote_addr);
    if (!admission.admitted) {
        return {std::nullopt, admission.retryAfter};
    }
    bool succeeded = false;
    try {
        auto account = shelf_.signIn(email, password);
        succeeded = account.has_value();
        signIns_.settle(email, request.remote_addr, succeeded);
        return {std::move(account), std::nullopt};
    } catch (...) {
        signIns_.settle(email, request.remote_addr, false);
        throw;
    }
}

std::string ShelfServer::sessionCookie(const std::string& token) const {
    return std::string(kSessionCookieName) + "=" + token + "; Path=/; HttpOnly; SameSite=Lax" +
           (usesTls() ? "; Secure" : "");
}

void ShelfServer::logRequest(const httplib::Request& request, const httplib::Response& response) const {
    const std::string line = formatRequestLog(request, response);
    if (options_.log) {
        options_.log(line);
        return;
    }
    // One write per line: stdout is shared with the program's own notices, written from other
    // threads, and a line sent in pieces can be split by theirs.
    std::cout << (line + '\n') << std::flush;
}

void ShelfServer::route() {
    server_->set_pre_routing_handler([](const httplib::Request& request, httplib::Response& response) {
        beginRequestLog();
        // The library would read a body over its limit to the announced end before refusing it,
        // however long that is; refuse it before reading instead.
        if (!readsItsOwnBody(request) && announcedLength(request) > kMaxFormBodyBytes) {
            refuse(response, 413, tooLargeReason());
            closeAfterAnswer(response);
            return httplib::Server::HandlerResponse::Handled;
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });
    // Called once the answer is written.
    server_->set_logger([this](const httplib::Request& request, const httplib::Response& response) {
        logRequest(request, response);
        closeIfAsked(request, options_.linger, gate_.stopping());
    });
    server_->set_error_handler([](const httplib::Request&, httplib::Response& response) {
        if (!response.body.empty()) {
            return;
        }
        switch (response.status) {
            case 404:
                refuse(response, 404, "there is nothing at this address");
                break;
            case 413:
                refuse(response, 413, tooLargeReason());
                break;
            default:
                refuse(response, response.status, "the request could not be served");
                break;
        }
    });
    server_->set_exception_handler([](const httplib::Request&, httplib::Response& response, std::exception_ptr error) {
        std::string what = "unknown error";
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& exception) {
            what = exception.what();
        } catch (...) {
        }
        refuse(response, 500, "internal error: " + what);
    });
    routeApi();
    routePages();
}

}  // namespace tomely::shelf
