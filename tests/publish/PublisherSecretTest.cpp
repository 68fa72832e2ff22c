// The publisher in this process, against the test's server: it is not dumpable while it holds
// the password (its own copy, then the sign-in request's), and dumpable again once the sign-in has
// gone out and been answered, for the rest of the run.
#include <gtest/gtest.h>
#include <sys/prctl.h>

#include <atomic>
#include <map>

#include "common/MainLoopFixture.h"
#include "common/ScopedEnvironment.h"
#include "common/ScriptedHTTPServer.h"
#include "common/TemporaryDirectory.h"
#include "common/ZipBuilder.h"
#include "publish/Publisher.h"

namespace tomely {
namespace {

using test::ScriptedResponse;

// The dumpable flag as each stage begins.
class DumpableAtEachStage final : public PublishOutput {
public:
    void stage(SessionStage stage, const std::string& /*text*/) override { flags[stage] = ::prctl(PR_GET_DUMPABLE); }
    void count(SessionStage, std::uint64_t, std::uint64_t) override {}
    void upload(const UploadProgress&) override {}
    void notice(const std::string&) override {}
    void retrying(const SessionRetry&) override {}
    void succeeded(const PublishSummary&) override {}
    void listed(const BookListing&) override {}
    void failed(const PublishFailure&) override {}

    std::map<SessionStage, int> flags;
};

class PublisherSecretTest : public test::MainLoopFixture {
protected:
    PublisherSecretTest() {
        environment_.set("TOMELY_SERVICE_URL", service_.baseURL());
        service_.setHandler([this](const test::RecordedRequest& request) {
            if (request.target.ends_with("/auth/")) {
                flagAtSignIn_ = ::prctl(PR_GET_DUMPABLE);
                return ScriptedResponse::text(200, "", {{"Set-Cookie", "session=s1; Path=/"}});
            }
            return ScriptedResponse::text(200, "[]");
        });
    }

    test::TemporaryDirectory directory_;
    test::ScopedEnvironment environment_;
    test::ScriptedHTTPServer service_;
    std::atomic<int> flagAtSignIn_ = -1;
};

TEST_F(PublisherSecretTest, ThePasswordIsLetGoOnceTheSignInHasGoneOut) {
    const std::string book = directory_.pathOf("book.iba");
    test::ZipBuilder(book).add("index.xml", R"(<sl:textbook sl:GUID="G"></sl:textbook>)");
    PublishOptions options;
    options.bookPath = book;
    options.email = "ann@example.com";
    SecretText password;
    password.append("hunter2");
    DumpableAtEachStage output;
    std::optional<PublishExit> exit;
    auto publisher =
        Publisher::create(options, std::move(password), WorkArea::inDirectory(directory_.pathOf("run")), output);
    publisher->start([&exit](PublishExit status) { exit = status; });
    runUntil([&exit] { return exit.has_value(); });

    EXPECT_EQ(exit, PublishExit::Usage) << "no book on the shelf carries the GUID";
    const std::map<SessionStage, int> expected = {
        {SessionStage::SigningIn, 0},
        {SessionStage::Opening, 1},
        {SessionStage::Listing, 1},
    };
    EXPECT_EQ(output.flags, expected);
    EXPECT_EQ(flagAtSignIn_, 0) << "while the request held the password";
}

}  // namespace
}  // namespace tomely
