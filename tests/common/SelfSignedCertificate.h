#pragma once

#include <openssl/ssl.h>

#include <memory>
#include <string>

namespace tomely::test {

struct SSLContextDeleter {
    void operator()(SSL_CTX* context) const { SSL_CTX_free(context); }
};
using SSLContext = std::unique_ptr<SSL_CTX, SSLContextDeleter>;

// A fresh self-signed certificate for 127.0.0.1 (an EC P-256 key, valid for a day), made with
// OpenSSL's API. Clients that verify certificates refuse it.

// A TLS server context that presents such a certificate.
[[nodiscard]] SSLContext makeSelfSignedServerContext();
// Such a certificate and its key as PEM files, for servers that load them.
void writeSelfSignedCertificate(const std::string& certificatePath, const std::string& keyPath);

}  // namespace tomely::test
