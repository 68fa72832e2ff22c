#include "http/HTTPCookie.h"

#include <gtest/gtest.h>

#include "http/HTTPCookieStorage.h"

namespace tomely {
namespace {

using namespace std::chrono;

const system_clock::time_point kNow = sys_days(year(2024) / 3 / 1) + hours(12);

sys_seconds at(int y, unsigned m, unsigned d, int h = 0, int min = 0, int s = 0) {
    return sys_seconds(sys_days(year(y) / month(m) / day(d))) + hours(h) + minutes(min) + seconds(s);
}

TEST(HTTPCookieTest, CookieDates) {
    const struct {
        const char* text;
        std::optional<sys_seconds> date;
    } cases[] = {
        {"Wed, 09 Jun 2021 10:18:14 GMT", at(2021, 6, 9, 10, 18, 14)},
        {"Wednesday, 09-Jun-21 10:18:14 GMT", at(2021, 6, 9, 10, 18, 14)},
        {"Sun Nov  6 08:49:37 1994", at(1994, 11, 6, 8, 49, 37)},
        {"6 november 70 1:2:3", at(1970, 11, 6, 1, 2, 3)},
        {"30 Feb 2020 10:00:00", std::nullopt},
        {"09 Jun 2021", std::nullopt},
        {"09 Jun 2021 24:00:00", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(parseCookieDate(c.text), c.date);
    }
}

TEST(HTTPCookieTest, SetCookieFields) {
    const URL url("https://www.books.example/shelf/upload/auth");
    // Unless a row says otherwise: host-only on the request's host, in its directory, a session cookie.
    const struct {
        const char* field = "";
        bool kept = false;
        const char* value = "1";
        std::optional<sys_seconds> expires = std::nullopt;
        const char* path = "/shelf/upload";
        bool secure = false;
        const char* domain = "www.books.example";
        bool hostOnly = true;
    } cases[] = {
        {"sid=abc", true, "abc"},
        {" sid = a b ; Path=/; Secure; HttpOnly", true, "a b", std::nullopt, "/", true},
        {"sid=; Domain=.Books.Example; Path=api", true, "", std::nullopt, "/shelf/upload", false, "books.example",
         false},
        {"sid=1; Expires=Wed, 09 Jun 2038 10:18:14 GMT", true, "1", at(2038, 6, 9, 10, 18, 14)},
        {"sid=1; Expires=Wed, 09 Jun 2038 10:18:14 GMT; Max-Age=60", true, "1", floor<seconds>(kNow) + seconds(60)},
        {"sid=1; Max-Age=-1", true, "1", sys_seconds{}},
        {"sid=1; Max-Age=12x", true},
        {"sid=1; Domain=other.example"},
        {"sid=1; Domain=ks.example"},
        {"no-equals-sign"},
        {"sid=a\x01"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.field);
        const auto cookie = parseSetCookieField(c.field, url, kNow);
        ASSERT_EQ(cookie.has_value(), c.kept);
        if (!cookie) {
            continue;
        }
        EXPECT_EQ(cookie->name, "sid");
        EXPECT_EQ(cookie->value, c.value);
        EXPECT_EQ(cookie->domain, c.domain);
        EXPECT_EQ(cookie->hostOnly, c.hostOnly);
        EXPECT_EQ(cookie->path, c.path);
        EXPECT_EQ(cookie->expiresDate, c.expires);
        EXPECT_EQ(cookie->secure, c.secure);
    }
    EXPECT_FALSE(parseSetCookieField("big=" + std::string(5000, 'x'), url, kNow).has_value());
}

TEST(HTTPCookieTest, AnIPAddressIsNoDomainToMatchBySuffix) {
    EXPECT_FALSE(cookieDomainMatches("10.0.0.1", "0.0.1"));
}

class HTTPCookieStorageTest : public ::testing::Test {
protected:
    void store(std::vector<std::string> fields, const std::string& url) {
        storage.setCookies(HTTPCookieStorage::cookiesWithResponseHeaderFields(fields, URL(url)), URL(url));
    }
    std::string cookieHeaderFor(const std::string& url) {
        return HTTPCookieStorage::cookieHeaderValue(storage.cookiesForURL(URL(url)));
    }
    HTTPCookieStorage storage;
};

TEST_F(HTTPCookieStorageTest, SendsWhatMatchesHostPathSchemeAndTime) {
    store({"a=1; Path=/", "b=2; Path=/", "deep=3; Path=/api/author", "secure=4; Path=/; Secure",
           "wide=5; Domain=books.example; Path=/", "gone=6; Path=/; Max-Age=0"},
          "https://www.books.example/api/login");
    const struct {
        const char* url;
        const char* header;
    } cases[] = {
        {"https://www.books.example/api/author/list", "deep=3; a=1; b=2; secure=4; wide=5"},
        {"http://www.books.example/", "a=1; b=2; wide=5"},
        {"https://shop.books.example/", "wide=5"},
        {"https://www.books.example.evil/", ""},
        {"https://books.example/", "wide=5"},
        {"https://www.books.example:8443/api/authors", "a=1; b=2; secure=4; wide=5"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        EXPECT_EQ(cookieHeaderFor(c.url), c.header);
    }
}

TEST_F(HTTPCookieStorageTest, ALaterCookieReplacesOrExpiresTheSameCookie) {
    store({"a=1; Path=/", "b=2; Path=/"}, "http://books.example/");
    store({"a=changed; Path=/"}, "http://books.example/");
    EXPECT_EQ(cookieHeaderFor("http://books.example/"), "a=changed; b=2") << "keeps its place";
    store({"b=x; Path=/; Expires=Thu, 01 Jan 1970 00:00:00 GMT"}, "http://books.example/");
    EXPECT_EQ(cookieHeaderFor("http://books.example/"), "a=changed");
    store({"a=other-path; Path=/api"}, "http://books.example/");
    EXPECT_EQ(storage.cookies().size(), 2U);
}

TEST_F(HTTPCookieStorageTest, AServerCannotGrowTheStoreWithoutEnd) {
    std::vector<std::string> fields;
    for (int i = 0; i < 200; ++i) {
        fields.push_back("c" + std::to_string(i) + "=v; Path=/");
    }
    store(fields, "http://books.example/");
    EXPECT_EQ(storage.cookies().size(), 50U);
    EXPECT_EQ(storage.cookies().front().name, "c150") << "the oldest go first";
}

}  // namespace
}  // namespace tomely
