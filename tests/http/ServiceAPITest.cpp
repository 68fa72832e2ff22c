#include "http/ServiceAPI.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "http/URL.h"
#include "http/UserAgent.h"

namespace tomely {
namespace {

class ServiceAPITest : public ::testing::Test {
protected:
    ServiceAPITest() { ::setenv("TOMELY_SERVICE_URL", "https://books.example.org:8443/base/path/", 1); }
    ~ServiceAPITest() override { ::unsetenv("TOMELY_SERVICE_URL"); }
};

// Endpoints replace the base path, and a book GUID cannot leave its path segment.
TEST_F(ServiceAPITest, ABookGUIDCannotLeaveItsPathSegment) {
    EXPECT_EQ(ServiceAPI::uploadURL("{ab/../cd?x#y}").absoluteString(),
              "https://books.example.org:8443/api/author/shelf/upload/%7Bab%2F..%2Fcd%3Fx%23y%7D/");
    EXPECT_EQ(ServiceAPI::manifestURL("").absoluteString(),
              "https://books.example.org:8443/api/author/shelf/upload/manifest//");
}

TEST(URLTest, ParsesAndResolves) {
    const URL url("HTTP://Books.Example:8080/a/b?q=1");
    ASSERT_TRUE(url.isValid());
    EXPECT_EQ(url.scheme(), "http");
    EXPECT_EQ(url.host(), "books.example");
    EXPECT_EQ(url.port(), 8080);
    EXPECT_EQ(url.path(), "/a/b");
    EXPECT_EQ(URL("https://books.example").port(), 443);
    EXPECT_EQ(URL("https://books.example").path(), "/");
    EXPECT_EQ(url.resolve("/root").absoluteString(), "http://Books.Example:8080/root");
    EXPECT_EQ(url.resolve("https://other.example/x").absoluteString(), "https://other.example/x");
    for (const char* bad : {"", "no scheme", "http://", "http://exa mple.org/"}) {
        SCOPED_TRACE(bad);
        const URL invalid(bad);
        EXPECT_FALSE(invalid.isValid());
        EXPECT_EQ(invalid.absoluteString(), bad);
    }
}

TEST(UserAgentTest, NameVersionKernelAndLocale) {
    const struct {
        ApplicationInfo info;
        const char* kernel;
        const char* agent;
    } cases[] = {
        {{"Tomely Uploader", "tomely", "1.2", "1.2"},
         "6.1.0-18-amd64",
         "Tomely Uploader 1.2 (X11; Linux 6.1.0; en_GB)"},
        {{"", "tomely", "1.2", "120"}, "5.15.7", "tomely 1.2 rv:120 (X11; Linux 5.15.7; en_GB)"},
        {{"App", "", "", "77"}, "4.19.0", "App 77 (X11; Linux 4.19.0; en_GB)"},
        {{"", "", "1.0", "1.0"}, "6.1.0", nullptr},
        {{"App", "", "1.0", ""}, "6.1", nullptr},
        {{"App", "", "1.0", ""}, "custom-kernel", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kernel);
        const auto agent = makeDefaultUserAgent(c.info, c.kernel, "en_GB");
        ASSERT_EQ(agent.has_value(), c.agent != nullptr);
        if (agent) {
            EXPECT_EQ(*agent, c.agent);
        }
    }
}

}  // namespace
}  // namespace tomely
