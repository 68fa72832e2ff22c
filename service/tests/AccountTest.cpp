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
    auto client = anonymous();
    const auto reply = client->signIn(kAda, kAdaPassword);
    ASSERT_EQ(reply.status, 200);
    EXPECT_EQ(reply.setCookie.rfind("tomely_session=", 0), 0U) << reply.setCookie;
    EXPECT_NE(reply.setCookie.find("; HttpOnly"), std::string::npos);
    EXPECT_NE(reply.setCookie.find("; SameSite=Lax"), std::string::npos);
    EXPECT_EQ(reply.setCookie.find("Secure"), std::string::npos);
    EXPECT_EQ(client->list().status, 200);
}

TEST_F(AccountTest, WrongCredentialsAre403AndSetNoCookie) {
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
        auto client = anonymous();
        const auto reply = client->signIn(c.email, c.password);
        EXPECT_EQ(reply.status, 403);
        EXPECT_EQ(reply.body, "wrong e-mail address or password\n");
        EXPECT_TRUE(reply.setCookie.empty());
    }
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
    EXPECT_EQ(anonymous()->get("/shelf/").status, 200);

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

TEST_F(AccountTest, SignInFormWithoutBothFieldsIs400) {
    auto client = anonymous();
    const auto reply = client->post("/api/author/shelf/upload/auth/", "email=ada%40example.com",
                                    "application/x-www-form-urlencoded; charset=utf-8");
    EXPECT_EQ(reply.status, 400);
    EXPECT_EQ(reply.body, "the form needs \"email\" and \"password\"\n");
}

TEST_F(AccountTest, EveryOtherCallWithoutAValidSessionIs403) {
    const std::string manifest = client::manifestJson(client::splitBook(sampleBook(1)), "G1", {{}, "Title"});
    const auto part = client::splitBook(sampleBook(1)).front();
    const struct {
        const char* name;
        std::string cookie;
    } sessions[] = {
        {"no cookie", ""},
        {"made-up token", "tomely_session=00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff"},
        {"other cookie only", "theme=dark"},
    };
    for (const auto& session : sessions) {
        SCOPED_TRACE(session.name);
        auto client = anonymous();
        client->setCookie(session.cookie);
        EXPECT_EQ(client->list().status, 403);
        EXPECT_EQ(client->postManifest("G1", manifest).status, 403);
        const auto reply = client->postPart("G1", client::partForm(part, 0, 1, {{}, "Title"}));
        EXPECT_EQ(reply.status, 403);
        EXPECT_EQ(reply.body, "sign in first: this call needs the session cookie of the authentication call\n");
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
    EXPECT_EQ(browser->get("/account/register/").status, 200);

    const struct {
        const char* name;
        std::string form;
        int status;
    } refusals[] = {
        {"short password", "email=carol%40example.com&password=short&confirm=short", 400},
        {"address taken", "email=ada%40example.com&password=long-enough&confirm=long-enough", 409},
    };
    for (const auto& refusal : refusals) {
        SCOPED_TRACE(refusal.name);
        EXPECT_EQ(browser->post("/account/register/", refusal.form, "application/x-www-form-urlencoded").status,
                  refusal.status);
    }
    const auto created =
        browser->post("/account/register/", "email=carol%40example.com&password=carol-secret&confirm=carol-secret",
                      "application/x-www-form-urlencoded");
    EXPECT_EQ(created.status, 303);
    EXPECT_NE(created.setCookie.find("tomely_session="), std::string::npos);
    EXPECT_EQ(anonymous()->signIn("carol@example.com", "carol-secret").status, 200);
}

TEST_F(AccountTest, TheDatabaseHoldsNeitherPasswordsNorLiveSessionTokens) {
    auto client = signedIn(kAda, kAdaPassword);
    const std::string token = client->cookie().substr(client->cookie().find('=') + 1);
    shelf_.reset();  // closes the database, so everything is in the file
    std::string bytes;
    for (const auto& entry : std::filesystem::directory_iterator(data_.path())) {
        if (!entry.is_regular_file()) {
            continue;
        }
        std::ifstream in(entry.path(), std::ios::binary);
        bytes.append(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    EXPECT_NE(bytes.find("pbkdf2-sha256$1000$"), std::string::npos);
    EXPECT_EQ(bytes.find(kAdaPassword), std::string::npos);
    EXPECT_EQ(bytes.find(token), std::string::npos);
}

TEST_F(AccountTest, EveryRequestIsLoggedInOneLineWithStatusAndAuthor) {
    auto client = anonymous();
    (void)client->signIn(kAda, "wrong");
    (void)client->signIn(kAda, kAdaPassword);
    (void)client->list();
    // A request is logged after its answer, by the worker that served it: requests on different
    // connections may be logged in either order.
    const auto lines = shelf_->logLines(3);
    ASSERT_EQ(lines.size(), 3U);
    const auto lineWith = [&](const std::string& text) {
        const auto found = std::find_if(lines.begin(), lines.end(),
                                        [&](const std::string& line) { return line.find(text) != std::string::npos; });
        return found == lines.end() ? std::string("no line with \"" + text + "\"") : *found;
    };
    const std::string refused = lineWith(" POST /api/author/shelf/upload/auth/ 403 ");
    EXPECT_NE(refused.find("wrong e-mail address or password"), std::string::npos) << refused;
    const std::string signedIn = lineWith(" POST /api/author/shelf/upload/auth/ 200 ");
    EXPECT_NE(signedIn.find(" ada@example.com"), std::string::npos) << signedIn;
    const std::string listed = lineWith(" GET /api/author/shelf/upload/list/ 200 ");
    EXPECT_NE(listed.find(" ada@example.com"), std::string::npos) << listed;
    for (const auto& line : lines) {
        EXPECT_EQ(line.find('\n'), std::string::npos);
    }
}

}  // namespace
}  // namespace tomely::shelf::test
