#include "publish/PublishExit.h"

#include <gtest/gtest.h>

namespace tomely {
namespace {

TEST(PublishExitTest, EachSessionFailureEndsTheRunWithItsExitStatusAndLine) {
    const std::string url = "http://127.0.0.1:8750/api/author/shelf/upload/manifest/G/";
    const Error lost = Error::make("HTTPRequestErrorDomain", 1, "A connection failure occurred");
    struct Case {
        const char* name;
        SessionFailure failure;
        int exit;
        std::string message;
    };
    const Case cases[] = {
        {"a sign-in without an answer",
         {SessionStage::SigningIn, CallFailure{0, url, lost, std::nullopt, false}},
         5,
         "signing in failed: A connection failure occurred (" + url +
             "); check the service's address (--service URL or TOMELY_SERVICE_URL)"},
        {"a sign-in answered 401 with a challenge it cannot answer",
         {SessionStage::SigningIn,
          CallFailure{401, url, Error::make("HTTPRequestErrorDomain", 3, "no credentials"), std::nullopt, false}},
         6,
         "signing in failed: the service answered 401 (" + url + ")"},
        {"a book that cannot be opened",
         {SessionStage::Opening, Error::make("ZipArchiveErrorDomain", -1, "failed to open zip file")},
         4,
         "cannot open walk.iba: failed to open zip file"},
        {"a list answered 500",
         {SessionStage::Listing, CallFailure{500, url, std::nullopt, std::nullopt, false}},
         6,
         "listing your books failed: the service answered 500 (" + url + ")"},
        {"a manifest answered 429 with a wait",
         {SessionStage::Comparing, CallFailure{429, url, std::nullopt, "120", false}},
         6,
         "comparing the book with your shelf failed: the service answered 429 (" + url +
             "); retry after 120 s; running the same command again sends only what is missing"},
        {"a manifest answer that cannot be followed",
         {SessionStage::Comparing,
          CallFailure{200, url,
                      Error::make("SyncManifestErrorDomain", 1, "the service's answer is not a list of part names"),
                      std::nullopt, true}},
         6,
         "comparing the book with your shelf failed: the service's answer is not a list of part names (" + url +
             "); running the same command again sends only what is missing"},
        // The status was read, then the body never came whole: the network failed, not the service.
        {"a list cut short after its 200",
         {SessionStage::Listing,
          CallFailure{200, url, Error::make("HTTPRequestErrorDomain", 1, "the answer was cut short"), std::nullopt,
                      false}},
         5,
         "listing your books failed: the answer was cut short (" + url + ")"},
        {"a manifest answer past its limit",
         {SessionStage::Comparing,
          CallFailure{200, url, Error::make("HTTPRequestErrorDomain", 15, "the answer is too large"), std::nullopt,
                      false}},
         5,
         "comparing the book with your shelf failed: the answer is too large (" + url +
             "); running the same command again sends only what is missing"},
        {"a part upload without an answer or error",
         {SessionStage::Uploading, CallFailure{0, url, std::nullopt, std::nullopt, false}},
         5,
         "uploading the book failed: no answer (" + url +
             "); running the same command again sends only what is missing"},
        {"a part that cannot be read",
         {SessionStage::Compressing,
          Error::make("NSPOSIXErrorDomain", 2, "Could not read \"/w//a.part00001\": No such file or directory")},
         4,
         "preparing the book failed: Could not read \"/w//a.part00001\": No such file or directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const PublishFailure failure = sessionFailure(c.failure, "walk.iba");
        EXPECT_EQ(static_cast<int>(failure.exit), c.exit);
        EXPECT_EQ(failure.message, c.message);
    }
}

}  // namespace
}  // namespace tomely
