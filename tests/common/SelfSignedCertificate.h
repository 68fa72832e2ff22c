#pragma once

#include <openssl/ssl.h>

#include <memory>

namespace tomely::test {

struct SSLContextDeleter {
    void operator()(SSL_CTX* context) const { SSL_CTX_free(context); }
};
using SSLContext = std::unique_ptr<SSL_CTX, SSLContextDeleter>;

// A TLS server context with a fresh self-signed certificate for 127.0.0.1 (an EC P-256 key, valid
// for a day), made in memory with OpenSSL's API. Clients that verify certificates refuse it.
[[nodiscard]] SSLContext makeSelfSignedServerContext();

}  // namespace tomely::test
