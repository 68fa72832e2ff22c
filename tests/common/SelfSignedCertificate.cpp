#include "common/SelfSignedCertificate.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <cstdio>
#include <stdexcept>

namespace tomely::test {
namespace {

struct KeyDeleter {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct CertificateDeleter {
    void operator()(X509* certificate) const { X509_free(certificate); }
};
struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};

void require(bool ok, const char* what) {
    if (!ok) {
        throw std::runtime_error(std::string("self-signed certificate: ") + what);
    }
}

struct KeyAndCertificate {
    std::unique_ptr<EVP_PKEY, KeyDeleter> key;
    std::unique_ptr<X509, CertificateDeleter> certificate;
};

KeyAndCertificate makeKeyAndCertificate() {
    KeyAndCertificate made{std::unique_ptr<EVP_PKEY, KeyDeleter>(EVP_EC_gen("P-256")),
                           std::unique_ptr<X509, CertificateDeleter>(X509_new())};
    require(made.key != nullptr && made.certificate != nullptr, "key");
    X509* certificate = made.certificate.get();
    X509_set_version(certificate, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(certificate), 1);
    X509_gmtime_adj(X509_getm_notBefore(certificate), -60);
    X509_gmtime_adj(X509_getm_notAfter(certificate), 24 * 60 * 60);
    X509_set_pubkey(certificate, made.key.get());
    X509_NAME* name = X509_get_subject_name(certificate);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1,
                               0);
    X509_set_issuer_name(certificate, name);
    require(X509_sign(certificate, made.key.get(), EVP_sha256()) > 0, "signature");
    return made;
}

}  // namespace

SSLContext makeSelfSignedServerContext() {
    const KeyAndCertificate made = makeKeyAndCertificate();
    SSLContext context(SSL_CTX_new(TLS_server_method()));
    require(context != nullptr, "context");
    require(SSL_CTX_use_certificate(context.get(), made.certificate.get()) == 1, "use certificate");
    require(SSL_CTX_use_PrivateKey(context.get(), made.key.get()) == 1, "use key");
    return context;
}

void writeSelfSignedCertificate(const std::string& certificatePath, const std::string& keyPath) {
    const KeyAndCertificate made = makeKeyAndCertificate();
    const std::unique_ptr<FILE, FileCloser> certificate(std::fopen(certificatePath.c_str(), "w"));
    const std::unique_ptr<FILE, FileCloser> key(std::fopen(keyPath.c_str(), "w"));
    require(certificate != nullptr && key != nullptr, "files");
    require(PEM_write_X509(certificate.get(), made.certificate.get()) == 1 &&
                PEM_write_PrivateKey(key.get(), made.key.get(), nullptr, nullptr, 0, nullptr, nullptr) == 1,
            "PEM");
}

}  // namespace tomely::test
