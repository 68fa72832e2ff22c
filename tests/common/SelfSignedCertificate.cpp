#include "common/SelfSignedCertificate.h"

#include <openssl/evp.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <stdexcept>

namespace tomely::test {
namespace {

struct KeyDeleter {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct CertificateDeleter {
    void operator()(X509* certificate) const { X509_free(certificate); }
};
struct ExtensionDeleter {
    void operator()(X509_EXTENSION* extension) const { X509_EXTENSION_free(extension); }
};

void require(bool ok, const char* what) {
    if (!ok) {
        throw std::runtime_error(std::string("self-signed certificate: ") + what);
    }
}

void addExtension(X509* certificate, int nid, const char* value) {
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, certificate, certificate, nullptr, nullptr, 0);
    std::unique_ptr<X509_EXTENSION, ExtensionDeleter> extension(X509V3_EXT_conf_nid(nullptr, &context, nid, value));
    require(extension != nullptr && X509_add_ext(certificate, extension.get(), -1) == 1, "extension");
}

}  // namespace

SSLContext makeSelfSignedServerContext() {
    std::unique_ptr<EVP_PKEY, KeyDeleter> key(EVP_EC_gen("P-256"));
    require(key != nullptr, "key");
    std::unique_ptr<X509, CertificateDeleter> certificate(X509_new());
    require(certificate != nullptr, "certificate");
    X509_set_version(certificate.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(certificate.get()), 1);
    X509_gmtime_adj(X509_getm_notBefore(certificate.get()), -60);
    X509_gmtime_adj(X509_getm_notAfter(certificate.get()), 24 * 60 * 60);
    X509_set_pubkey(certificate.get(), key.get());
    X509_NAME* name = X509_get_subject_name(certificate.get());
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1,
                               0);
    X509_set_issuer_name(certificate.get(), name);
    addExtension(certificate.get(), NID_subject_alt_name, "IP:127.0.0.1");
    addExtension(certificate.get(), NID_basic_constraints, "critical,CA:FALSE");
    require(X509_sign(certificate.get(), key.get(), EVP_sha256()) > 0, "signature");

    SSLContext context(SSL_CTX_new(TLS_server_method()));
    require(context != nullptr, "context");
    require(SSL_CTX_use_certificate(context.get(), certificate.get()) == 1, "use certificate");
    require(SSL_CTX_use_PrivateKey(context.get(), key.get()) == 1, "use key");
    return context;
}

}  // namespace tomely::test
