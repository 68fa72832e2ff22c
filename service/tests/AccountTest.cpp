#include <algorithm>
#include <fstream>
#include <iterator>
#include <regex>
#include <thread>

#include "ShelfHarness.h"

namespace tomely::shelf::test {
namespace {

using AccountTest = ShelfTest;

TEST_F(AccountTest, SignInAnswersWithAnHttpOnlyLaxSessionCookieThatIsNotSecureOverPlainHttp) {
    const auto reply = anonymous()->signIn(kAda, kAdaPassword);
    ASSERT_EQ(reply.status, 200);
    EXPECT_EQ(reply.setCookie.rfind("tomely_session=", 0), 0U) << reply.setCookie;
    EXPECT_NE(reply.setCookie.find("; HttpOnly; SameSite=Lax"), std::string::npos) << reply.setCookie;
    EXPECT_EQ(reply.setCookie.find("Secure"), std::string::npos);
}

TEST_F(AccountTest, WrongOrIncompleteCredentialsAreRefusedAndSetNoCookie) {
    const struct {
        const char* name;
        std::string email;
        std::string password;
    } cases[] = {
        {"wrong password", kAda, "not-her-password"},
        {"other author's password", kAda, kBobPassword},
        {"unknown address", "nobody@example.com", kAdaPassword},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto reply = anonymous()->signIn(c.email, c.password);
        EXPECT_EQ(reply.status, 403);
        EXPECT_TRUE(reply.setCookie.empty());
    }
    EXPECT_EQ(
        anonymous()
            ->post("/api/author/shelf/upload/auth/", "email=ada%40example.com", "application/x-www-form-urlencoded")
            .status,
        400);
    EXPECT_EQ(anonymous()->signIn("ADA@EXAMPLE.COM", kAdaPassword).status, 200);
}

TEST_F(AccountTest, FailedSignInsBeyondTheLimitsAre429UncheckedWhileOthersAreStillServed) {
    // 50 wrong passwords at once: only the account's limit of them are checked.
    std::vector<client::Reply> replies(50);
    std::vector<std::thread> attempts;
    for (auto& reply : replies) {
        attempts.emplace_back([this, &reply] { reply = anonymous()->signIn(kAda, "guess"); });
    }
    for (auto& attempt : attempts) {
        attempt.join();
    }
    EXPECT_EQ(std::count_if(replies.begin(), replies.end(), [](const auto& r) { return r.status == 403; }), 5);
    EXPECT_EQ(std::count_if(replies.begin(), replies.end(), [](const auto& r) { return r.status == 429; }), 45);
    EXPECT_EQ(anonymous()->signIn(kAda, kAdaPassword).status, 429);
    EXPECT_EQ(anonymous()->signIn(kBob, kBobPassword).status, 200);

    // Guesses spread over many accounts meet the limit of the client's address.
    for (int i = 0; i < 15; ++i) {
        EXPECT_EQ(anonymous()->signIn("nobody" + std::to_string(i) + "@example.com", "guess").status, 403);
    }
    RawConnection raw(shelf_->port());
    const std::string form = "email=bob%40example.com&password=bob-secret";
    raw.send(
        "POST /api/author/shelf/upload/auth/ HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: "
        "application/x-www-form-urlencoded\r\nConnection: close\r\nContent-Length: " +
        std::to_string(form.size()) + "\r\n\r\n" + form);
    const std::string answer = raw.receiveToEnd();
    EXPECT_TRUE(std::regex_search(answer, std::regex("^HTTP/1.1 429 [^]*\r\nRetry-After: [1-9][0-9]*\r\n[^]*"
                                                     "too many failed sign-ins: try again in [1-9][0-9]* seconds\n$")))
        << answer;
    EXPECT_EQ(anonymous()->get("/shelf/").status, 200);
}

TEST_F(AccountTest, EveryOtherCallWithoutAValidSessionIs403) {
    const auto parts = client::splitBook({{"/a", "a"}});
    for (const std::string cookie :
         {"", "tomely_session=00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff", "theme=dark"}) {
        SCOPED_TRACE(cookie);
        auto client = anonymous();
        client->setCookie(cookie);
        EXPECT_EQ(client->list().status, 403);
        EXPECT_EQ(client->postManifest("G1", client::manifestJson(parts, "G1", {{}, "Title"})).status, 403);
        EXPECT_EQ(client->postPart("G1", client::partForm(parts[0], 0, 1, {{}, "Title"})).status, 403);
    }
}

TEST_F(AccountTest, SessionsOutliveARestartButNotASignOut) {
    const auto cookie = signedIn(kAda, kAdaPassword)->cookie();
    restart();
    auto client = anonymous();
    client->setCookie(cookie);
    EXPECT_EQ(client->list().status, 200);
    EXPECT_EQ(client->post("/account/signout/", "", "application/x-www-form-urlencoded").status, 303);
    EXPECT_EQ(client->list().status, 403);
}

TEST_F(AccountTest, RegistrationPageCreatesAnAccountThatCanSignInAndRefusesBadForms) {
    auto browser = anonymous();
    const auto registering = [&](const std::string& form) {
        return browser->post("/account/register/", form, "application/x-www-form-urlencoded");
    };
    EXPECT_EQ(registering("email=carol%40example.com&password=short&confirm=short").status, 400);
    EXPECT_EQ(registering("email=ada%40example.com&password=long-enough&confirm=long-enough").status, 409);
    EXPECT_EQ(registering("email=carol%40example.com&password=carol-secret&confirm=carol-secret").status, 303);
    EXPECT_EQ(anonymous()->signIn("carol@example.com", "carol-secret").status, 200);
}

TEST_F(AccountTest, TheDatabaseHoldsNeitherPasswordsNorLiveSessionTokens) {
    auto client = signedIn(kAda, kAdaPassword);
    const std::string token = client->cookie().substr(client->cookie().find('=') + 1);
    shelf_.reset();  // closes the database, so everything is in the file
    std::string bytes;
    for (const auto& entry : std::filesystem::directory_iterator(data_.path())) {
        if (entry.is_regular_file()) {
            std::ifstream in(entry.path(), std::ios::binary);
            bytes.append(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
    }
    EXPECT_NE(bytes.find("pbkdf2-sha256$1000$"), std::string::npos);
    EXPECT_EQ(bytes.find(kAdaPassword), std::string::npos);
    EXPECT_EQ(bytes.find(token), std::string::npos);
}

}  // namespace
}  // namespace tomely::shelf::test
