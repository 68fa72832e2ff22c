#include "app/ACFailure.h"

#include <gtest/gtest.h>

#include "common/FakeDesktop.h"
#include "common/ScopedEnvironment.h"
#include "http/HTTPRequestError.h"

namespace tomely {
namespace {

// The alerts' words are the system's own and live in one place; these tests check the decisions
// around them: which alert for which status, what is filled in, and that the end comes after it.
class ACFailureTest : public ::testing::Test {
protected:
    ACFailureTest() { environment.set("TOMELY_SERVICE_URL", "https://books.example.org:8443/base/"); }

    test::ScopedEnvironment environment;
    test::FakeDesktop desktop;
};

TEST_F(ACFailureTest, ServerErrorsNameTheServiceHostAndOtherStatusesTheStatusAndURL) {
    const std::string url = "https://books.example.org:8443/api/author/shelf/upload/list/";
    for (const std::int32_t status : {500, 503, 0, 401, 501, 502}) {
        SCOPED_TRACE(status);
        const Alert alert = ACFailure::httpFailureAlert(status, url);
        const bool serverError = status == 500 || status == 503;
        EXPECT_EQ(alert.messageText, serverError ? "Server error" : "HTTP failure");
        const std::string expected = serverError
                                         ? " books.example.org"
                                         : "status code " + std::to_string(status) + ". Can not continue. \n" + url;
        EXPECT_NE(alert.informativeText.find(expected), std::string::npos) << alert.informativeText;
    }
}

TEST_F(ACFailureTest, ARequestWithoutAResponseEndsTheApplicationAfterTheAlertIsDismissed) {
    int terminatedWhileAlertUp = -1;
    desktop.alerts.onAlert = [&](const Alert&) { terminatedWhileAlertUp = desktop.application.terminateCount; };
    ACFailure::httpFailure(desktop.desktop, CallFailure{0,
                                                        "https://books.example.org:8443/api/manifest/G/",
                                                        httpRequestError(kConnectionFailureErrorType, "lost"),
                                                        {}});
    EXPECT_EQ(terminatedWhileAlertUp, 0);
    EXPECT_EQ(desktop.application.terminateCount, 1);
    ASSERT_EQ(desktop.alerts.shown.size(), 1U);
    EXPECT_TRUE(desktop.alerts.shown[0].informativeText.ends_with(
        "status code 0. Can not continue. \nhttps://books.example.org:8443/api/manifest/G/"));
}

}  // namespace
}  // namespace tomely
