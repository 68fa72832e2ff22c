#pragma once

#include <sys/types.h>

#include <filesystem>
#include <memory>

using SSL_CTX = struct ssl_ctx_st;
using SSL = struct ssl_st;

// The bytes of one accepted connection, plain or TLS, over a non-blocking socket. Used by one
// thread at a time: the connection gate while it waits for a request, then one worker.
namespace tomely::shelf {

struct TransportResult {
    enum class Wait { None, Readable, Writable };
    // > 0: bytes moved; 0 with Wait::None: the peer closed; < 0 with Wait::None: failed.
    ssize_t bytes = 0;
    // Nothing moved yet: try again once the socket is readable or writable.
    Wait wait = Wait::None;
};

class Transport {
public:
    // Takes ownership of the socket, and closes it.
    explicit Transport(int socket) : socket_(socket) {}
    virtual ~Transport();
    Transport(const Transport&) = delete;
    Transport& operator=(const Transport&) = delete;

    [[nodiscard]] virtual TransportResult read(char* into, std::size_t size);
    [[nodiscard]] virtual TransportResult write(const char* from, std::size_t size);
    // Bytes already received and decrypted, which no poll on the socket would announce.
    [[nodiscard]] virtual bool hasPending() const { return false; }
    [[nodiscard]] int socket() const { return socket_; }

private:
    int socket_;
};

// The server's TLS certificate and key. Thread-safe once made.
class TlsContext {
public:
    // Throws std::runtime_error when the files cannot be loaded or do not belong together.
    TlsContext(const std::filesystem::path& certificate, const std::filesystem::path& key);
    ~TlsContext();
    TlsContext(const TlsContext&) = delete;
    TlsContext& operator=(const TlsContext&) = delete;

    // A transport that performs the server's side of the handshake on its first reads.
    [[nodiscard]] std::unique_ptr<Transport> accept(int socket) const;

private:
    SSL_CTX* context_;
};

}  // namespace tomely::shelf
