#include "ShelfHarness.h"
#include "common/SelfSignedCertificate.h"

namespace tomely::shelf::test {
namespace {

class TlsTest : public ShelfTest {
protected:
    void SetUp() override {
        ShelfTest::SetUp();
        tomely::test::writeSelfSignedCertificate(certificates_.pathOf("cert.pem"), certificates_.pathOf("key.pem"));
        restart([this](ServerOptions& options) {
            options.tlsCertificate = certificates_.pathOf("cert.pem");
            options.tlsKey = certificates_.pathOf("key.pem");
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

TEST(TlsOptionsTest, AnUnreadableCertificateStopsTheServiceFromStarting) {
    TemporaryDirectory data;
    auto options = testOptions(data.path());
    options.tlsCertificate = data.pathOf("missing.pem");
    options.tlsKey = data.pathOf("missing.key");
    try {
        ShelfServer server(options);
        FAIL() << "started without a certificate";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(std::string(error.what()).rfind("cannot load the TLS certificate", 0), 0U) << error.what();
    }
}

}  // namespace
}  // namespace tomely::shelf::test
