#include "app/ACFailure.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "common/FakeDesktop.h"
#include "http/HTTPRequest.h"

namespace tomely {
namespace {

class ACFailureTest : public ::testing::Test {
protected:
    ACFailureTest() { ::setenv("TOMELY_SERVICE_URL", "https://books.example.org:8443/base/", 1); }
    ~ACFailureTest() override { ::unsetenv("TOMELY_SERVICE_URL"); }

    test::FakeDesktop desktop;
};

TEST_F(ACFailureTest, HttpFailureTextsByStatus) {
    struct Case {
        std::int32_t status;
        const char* message;
        const char* informative;
    };
    const std::string url = "https://books.example.org:8443/api/author/shelf/upload/list/";
    const Case cases[] = {
        {500, "Server error", "There was a problem with a server at books.example.org. Please try again later"},
        {503, "Server error", "The server at books.example.org was not reachable. Please try again later"},
        {0, "HTTP failure",
         "A HTTP call failed with status code 0. Can not continue. \n"
         "https://books.example.org:8443/api/author/shelf/upload/list/"},
        {501, "HTTP failure",
         "A HTTP call failed with status code 501. Can not continue. \n"
         "https://books.example.org:8443/api/author/shelf/upload/list/"},
        {502, "HTTP failure",
         "A HTTP call failed with status code 502. Can not continue. \n"
         "https://books.example.org:8443/api/author/shelf/upload/list/"},
        {401, "HTTP failure",
         "A HTTP call failed with status code 401. Can not continue. \n"
         "https://books.example.org:8443/api/author/shelf/upload/list/"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        test::FakeDesktop fresh;
        ACFailure::httpFailure(fresh.desktop, c.status, url);
        ASSERT_EQ(fresh.alerts.shown.size(), 1U);
        const Alert& alert = fresh.alerts.shown[0];
        EXPECT_EQ(alert.style, Alert::Style::Critical);
        EXPECT_TRUE(alert.buttons.empty()) << "only the platform's default button";
        EXPECT_EQ(alert.messageText, c.message);
        EXPECT_EQ(alert.informativeText, c.informative);
        EXPECT_EQ(fresh.application.terminateCount, 1);
    }
}

TEST_F(ACFailureTest, ARequestWithoutAResponseShowsStatus0AndItsURL) {
    const auto request =
        HTTPRequest::requestWithURL(URL("https://books.example.org:8443/api/author/shelf/upload/manifest/G/"));
    ACFailure::httpFailure(desktop.desktop, *request);
    ASSERT_EQ(desktop.alerts.shown.size(), 1U);
    EXPECT_EQ(desktop.alerts.shown[0].messageText, "HTTP failure");
    EXPECT_EQ(desktop.alerts.shown[0].informativeText,
              "A HTTP call failed with status code 0. Can not continue. \n"
              "https://books.example.org:8443/api/author/shelf/upload/manifest/G/");
    EXPECT_EQ(desktop.application.terminateCount, 1);
}

TEST_F(ACFailureTest, TheApplicationEndsOnlyAfterTheAlertIsDismissed) {
    int terminatedWhileAlertUp = -1;
    desktop.alerts.onAlert = [&](const Alert&) { terminatedWhileAlertUp = desktop.application.terminateCount; };
    ACFailure::httpUploadBookFailure(desktop.desktop);
    EXPECT_EQ(terminatedWhileAlertUp, 0);
    EXPECT_EQ(desktop.application.terminateCount, 1);
    ASSERT_EQ(desktop.alerts.shown.size(), 1U);
    EXPECT_EQ(desktop.alerts.shown[0].messageText, "HTTP failure");
    EXPECT_EQ(desktop.alerts.shown[0].informativeText,
              "There was a problem uploading your book. This sometimes happens when you disconnect from the "
              "internet briefly. Please try again.");
}

TEST_F(ACFailureTest, UnzipFailureShowsTheDescriptionAndTheFailingURLWhenThereIsOne) {
    Error error = Error::make("ZipArchiveErrorDomain", -1, "failed to open zip file");
    ACFailure::unzipFailure(desktop.desktop, error);
    error.userInfo.emplace(kFailingURLKey, "file:///home/a/book.iba");
    ACFailure::unzipFailure(desktop.desktop, error);
    ASSERT_EQ(desktop.alerts.shown.size(), 2U);
    EXPECT_EQ(desktop.alerts.shown[0].messageText, "Extraction failed");
    EXPECT_EQ(desktop.alerts.shown[0].informativeText,
              "Extraction failed. Can not continue. \nfailed to open zip file");
    EXPECT_EQ(desktop.alerts.shown[1].informativeText,
              "Extraction failed. Can not continue. \nfailed to open zip file\nfile:///home/a/book.iba");
    EXPECT_EQ(desktop.application.terminateCount, 2);
}

}  // namespace
}  // namespace tomely
