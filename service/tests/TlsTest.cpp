#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <cstdio>

#include "ShelfHarness.h"

namespace tomely::shelf::test {
namespace {

// Writes a fresh self-signed certificate for 127.0.0.1 and its key as PEM files.
void writeSelfSignedCertificate(const std::filesystem::path& certificate, const std::filesystem::path& key) {
    EVP_PKEY* pkey = EVP_EC_gen("P-256");
    ASSERT_NE(pkey, nullptr);
    X509* x509 = X509_new();
    ASN1_INTEGER_set(X509_get_serialNumber(x509), 1);
    X509_gmtime_adj(X509_getm_notBefore(x509), -60);
    X509_gmtime_adj(X509_getm_notAfter(x509), 3600);
    X509_set_pubkey(x509, pkey);
    X509_NAME* name = X509_get_subject_name(x509);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1,
                               0);
    X509_set_issuer_name(x509, name);
    ASSERT_GT(X509_sign(x509, pkey, EVP_sha256()), 0);
    FILE* out = std::fopen(certificate.c_str(), "w");
    PEM_write_X509(out, x509);
    std::fclose(out);
    out = std::fopen(key.c_str(), "w");
    PEM_write_PrivateKey(out, pkey, nullptr, nullptr, 0, nullptr, nullptr);
    std::fclose(out);
    X509_free(x509);
    EVP_PKEY_free(pkey);
}

class TlsTest : public ShelfTest {
protected:
    void SetUp() override {
        ShelfTest::SetUp();
        writeSelfSignedCertificate(certificates_.path() / "cert.pem", certificates_.path() / "key.pem");
        restart([this](ServerOptions& options) {
            options.tlsCertificate = certificates_.path() / "cert.pem";
            options.tlsKey = certificates_.path() / "key.pem";
        });
    }

    TemporaryDirectory certificates_;
};

TEST_F(TlsTest, ServesTheWholeSyncOverHttpsWithASecureCookie) {
    auto ada = anonymous();
    const auto reply = ada->signIn(kAda, kAdaPassword);
    ASSERT_EQ(reply.status, 200);
    EXPECT_NE(reply.setCookie.find("; HttpOnly; SameSite=Lax; Secure"), std::string::npos) << reply.setCookie;
    const auto files = sampleBook(21);
    ASSERT_EQ(ada->sync("G21", client::splitBook(files), {{}, "Secure"}).failure.status, 200);
    EXPECT_NE(ada->list().body.find("\"guid\":\"G21\""), std::string::npos);
}

TEST_F(TlsTest, PlainHttpToTheHttpsPortGetsNoAnswer) {
    client::ShelfClient plain("127.0.0.1", shelf_->port(), false);
    EXPECT_EQ(plain.signIn(kAda, kAdaPassword).status, 0);
}

TEST(TlsOptionsTest, AnUnreadableCertificateStopsTheServiceFromStarting) {
    TemporaryDirectory data;
    auto options = testOptions(data.path());
    options.tlsCertificate = data.path() / "missing.pem";
    options.tlsKey = data.path() / "missing.key";
    try {
        ShelfServer server(options);
        FAIL() << "started without a certificate";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(std::string(error.what()).rfind("cannot load the TLS certificate", 0), 0U) << error.what();
    }
}

}  // namespace
}  // namespace tomely::shelf::test
