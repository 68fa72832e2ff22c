#include "Transport.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace tomely::shelf {

namespace {

TransportResult plainResult(ssize_t bytes, TransportResult::Wait wait) {
    if (bytes >= 0) {
        return {bytes, TransportResult::Wait::None};
    }
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
        return {0, wait};
    }
    return {-1, TransportResult::Wait::None};
}

class TlsTransport : public Transport {
public:
    TlsTransport(int socket, SSL* ssl) : Transport(socket), ssl_(ssl) {
        SSL_set_fd(ssl_, socket);
        SSL_set_accept_state(ssl_);
    }
    ~TlsTransport() override {
        // Says goodbye when the handshake got that far; the socket is non-blocking, so this never waits.
        if (SSL_is_init_finished(ssl_) == 1) {
            SSL_shutdown(ssl_);
        }
        SSL_free(ssl_);
    }
    TlsTransport(const TlsTransport&) = delete;
    TlsTransport& operator=(const TlsTransport&) = delete;

    TransportResult read(char* into, std::size_t size) override {
        std::size_t got = 0;
        const int done = SSL_read_ex(ssl_, into, size, &got);
        return settle(done, got);
    }
    TransportResult write(const char* from, std::size_t size) override {
        std::size_t sent = 0;
        const int done = SSL_write_ex(ssl_, from, size, &sent);
        return settle(done, sent);
    }
    bool hasPending() const override { return SSL_pending(ssl_) > 0; }

private:
    TransportResult settle(int done, std::size_t bytes) {
        if (done == 1) {
            return {static_cast<ssize_t>(bytes), TransportResult::Wait::None};
        }
        const int error = SSL_get_error(ssl_, done);
        ERR_clear_error();
        switch (error) {
            case SSL_ERROR_WANT_READ:
                return {0, TransportResult::Wait::Readable};
            case SSL_ERROR_WANT_WRITE:
                return {0, TransportResult::Wait::Writable};
            case SSL_ERROR_ZERO_RETURN:
                return {0, TransportResult::Wait::None};
            default:
                return {-1, TransportResult::Wait::None};
        }
    }

    SSL* ssl_;
};

}  // namespace

Transport::~Transport() {
    shutdown(socket_, SHUT_RDWR);
    close(socket_);
}

TransportResult Transport::read(char* into, std::size_t size) {
    return plainResult(recv(socket_, into, size, MSG_DONTWAIT), TransportResult::Wait::Readable);
}

TransportResult Transport::write(const char* from, std::size_t size) {
    return plainResult(send(socket_, from, size, MSG_DONTWAIT | MSG_NOSIGNAL), TransportResult::Wait::Writable);
}

TlsContext::TlsContext(const std::filesystem::path& certificate, const std::filesystem::path& key)
    : context_(SSL_CTX_new(TLS_server_method())) {
    if (context_ == nullptr || SSL_CTX_set_min_proto_version(context_, TLS1_2_VERSION) != 1 ||
        SSL_CTX_use_certificate_chain_file(context_, certificate.c_str()) != 1 ||
        SSL_CTX_use_PrivateKey_file(context_, key.c_str(), SSL_FILETYPE_PEM) != 1 ||
        SSL_CTX_check_private_key(context_) != 1) {
        ERR_clear_error();
        SSL_CTX_free(context_);
        throw std::runtime_error("cannot load the TLS certificate " + certificate.string() + " or key " + key.string());
    }
    SSL_CTX_set_options(context_, SSL_OP_NO_COMPRESSION | SSL_OP_NO_RENEGOTIATION);
    // Writes on a non-blocking socket may be partial and are retried from where the data moved to.
    SSL_CTX_set_mode(context_, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
}

TlsContext::~TlsContext() {
    SSL_CTX_free(context_);
}

std::unique_ptr<Transport> TlsContext::accept(int socket) const {
    SSL* ssl = SSL_new(context_);
    if (ssl == nullptr) {
        ERR_clear_error();
        close(socket);
        return nullptr;
    }
    return std::make_unique<TlsTransport>(socket, ssl);
}

}  // namespace tomely::shelf
