#include "steps/SessionFailureAlert.h"

#include <gtest/gtest.h>

#include "common/ScopedEnvironment.h"

namespace tomely {
namespace {

TEST(SessionFailureAlertTest, EachFailureEndsTheWizardWithItsAlert) {
    test::ScopedEnvironment environment;
    environment.set("TOMELY_SERVICE_URL", "https://books.example.org:8443/");
    const std::string url = "https://books.example.org:8443/api/author/shelf/upload/list/";
    const Error lost = Error::make("HTTPRequestErrorDomain", 1, "A connection failure occurred");
    struct Case {
        const char* name;
        SessionFailure failure;
        const char* messageText;
        std::string informativeText;
    };
    const Case cases[] = {
        {"a book that is no zip",
         {SessionStage::Opening, Error::make("ZipArchiveErrorDomain", -1, "failed to open zip file")},
         "Extraction failed",
         "Extraction failed. Can not continue. \nfailed to open zip file"},
        {"a part that cannot be written",
         {SessionStage::Splitting,
          Error::make("NSPOSIXErrorDomain", 21, "Could not write \"/w/a.part00001\": Is a directory")},
         "Preparing the book failed",
         "Could not write \"/w/a.part00001\": Is a directory. Can not continue."},
        {"a part upload answered 500",
         {SessionStage::Uploading, CallFailure{500, url, std::nullopt, std::nullopt, false}},
         "HTTP failure",
         "There was a problem uploading your book. This sometimes happens when you disconnect from the internet "
         "briefly. Please try again."},
        {"a part upload without an answer",
         {SessionStage::Uploading, CallFailure{0, url, lost, std::nullopt, false}},
         "HTTP failure",
         "There was a problem uploading your book. This sometimes happens when you disconnect from the internet "
         "briefly. Please try again."},
        {"a sign-in answered 401",
         {SessionStage::SigningIn, CallFailure{401, url, std::nullopt, std::nullopt, false}},
         "HTTP failure",
         "A HTTP call failed with status code 401. Can not continue. \n" + url},
        {"a list without an answer",
         {SessionStage::Listing, CallFailure{0, url, lost, std::nullopt, false}},
         "HTTP failure",
         "A HTTP call failed with status code 0. Can not continue. \n" + url},
        {"a manifest answered 500",
         {SessionStage::Comparing, CallFailure{500, url, std::nullopt, std::nullopt, false}},
         "Server error",
         "There was a problem with a server at books.example.org. Please try again later"},
        {"a manifest answered 503",
         {SessionStage::Comparing, CallFailure{503, url, std::nullopt, "30", false}},
         "Server error",
         "The server at books.example.org was not reachable. Please try again later"},
        {"a manifest answer that cannot be followed",
         {SessionStage::Comparing,
          CallFailure{200, url, Error::make("SyncManifestErrorDomain", 1, "not a list"), std::nullopt, true}},
         "HTTP failure",
         "A HTTP call failed with status code 200. Can not continue. \n" + url},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Alert alert = sessionFailureAlert(c.failure);
        EXPECT_EQ(alert.style, Alert::Style::Critical);
        EXPECT_EQ(alert.messageText, c.messageText);
        EXPECT_EQ(alert.informativeText, c.informativeText);
        EXPECT_TRUE(alert.buttons.empty()) << "the platform's single button";
    }
}

}  // namespace
}  // namespace tomely
