#include "app/ACFailure.h"

#include <gtest/gtest.h>

#include <functional>

#include "common/FakeDesktop.h"
#include "common/MainLoopFixture.h"
#include "common/ScopedEnvironment.h"
#include "http/HTTPRequest.h"
#include "platform/Error.h"

namespace tomely {
namespace {

// The three alerts that end the wizard, as the author reads them: every word written out here,
// each alert critical with the platform's single button, and the end only after it is dismissed.
class ACFailureTest : public test::MainLoopFixture {
protected:
    ACFailureTest() { environment.set("TOMELY_SERVICE_URL", "https://books.example.org:8443/base/"); }

    test::ScopedEnvironment environment;
};

TEST_F(ACFailureTest, EachFailureShowsItsWordsInACriticalAlertAndThenEndsTheApplication) {
    constexpr const char* kList = "https://books.example.org:8443/api/author/shelf/upload/list/";
    Error unzipError = Error::make("ZipArchiveErrorDomain", -1, "failed to open zip file");
    Error withURL = Error::make("NSURLErrorDomain", -1100, "The file does not exist.");
    withURL.userInfo[std::string(kFailingURLKey)] = "file:///books/gone.iba";
    const Error diskFull = Error::make("NSPOSIXErrorDomain", 28,
                                       "Could not write \"/data/working/a.txt.part00000\": No space left on device");
    struct Case {
        const char* name;
        std::function<void(Desktop&)> fail;
        const char* messageText;
        const char* informativeText;
    };
    const Case cases[] = {
        {"no response at all",
         [&](Desktop& d) {
             ACFailure::httpFailure(d, CallFailure{0, kList, std::nullopt, std::nullopt, false});
         },
         "HTTP failure",
         "A HTTP call failed with status code 0. Can not continue. \n"
         "https://books.example.org:8443/api/author/shelf/upload/list/"},
        {"400",
         [&](Desktop& d) {
             ACFailure::httpFailure(d, CallFailure{400, kList, std::nullopt, std::nullopt, false});
         },
         "HTTP failure",
         "A HTTP call failed with status code 400. Can not continue. \n"
         "https://books.example.org:8443/api/author/shelf/upload/list/"},
        {"401",
         [&](Desktop& d) {
             ACFailure::httpFailure(d, CallFailure{401, kList, std::nullopt, std::nullopt, false});
         },
         "HTTP failure",
         "A HTTP call failed with status code 401. Can not continue. \n"
         "https://books.example.org:8443/api/author/shelf/upload/list/"},
        {"404",
         [&](Desktop& d) {
             ACFailure::httpFailure(d, CallFailure{404, kList, std::nullopt, std::nullopt, false});
         },
         "HTTP failure",
         "A HTTP call failed with status code 404. Can not continue. \n"
         "https://books.example.org:8443/api/author/shelf/upload/list/"},
        {"429",
         [&](Desktop& d) {
             ACFailure::httpFailure(d, CallFailure{429, kList, std::nullopt, std::nullopt, false});
         },
         "HTTP failure",
         "A HTTP call failed with status code 429. Can not continue. \n"
         "https://books.example.org:8443/api/author/shelf/upload/list/"},
        {"500",
         [&](Desktop& d) {
             ACFailure::httpFailure(d, CallFailure{500, kList, std::nullopt, std::nullopt, false});
         },
         "Server error", "There was a problem with a server at books.example.org. Please try again later"},
        {"501",
         [&](Desktop& d) {
             ACFailure::httpFailure(d, CallFailure{501, kList, std::nullopt, std::nullopt, false});
         },
         "HTTP failure",
         "A HTTP call failed with status code 501. Can not continue. \n"
         "https://books.example.org:8443/api/author/shelf/upload/list/"},
        {"502",
         [&](Desktop& d) {
             ACFailure::httpFailure(d, CallFailure{502, kList, std::nullopt, std::nullopt, false});
         },
         "HTTP failure",
         "A HTTP call failed with status code 502. Can not continue. \n"
         "https://books.example.org:8443/api/author/shelf/upload/list/"},
        {"503",
         [&](Desktop& d) {
             ACFailure::httpFailure(d, CallFailure{503, kList, std::nullopt, std::nullopt, false});
         },
         "Server error", "The server at books.example.org was not reachable. Please try again later"},
        {"504",
         [&](Desktop& d) {
             ACFailure::httpFailure(d, CallFailure{504, kList, std::nullopt, std::nullopt, false});
         },
         "HTTP failure",
         "A HTTP call failed with status code 504. Can not continue. \n"
         "https://books.example.org:8443/api/author/shelf/upload/list/"},
        {"a request that never got an answer",
         [](Desktop& d) {
             const auto request = HTTPRequest::requestWithURL(URL("https://books.example.org:8443/api/manifest/G/"));
             ACFailure::httpFailure(d, CallFailure::of(*request));
         },
         "HTTP failure",
         "A HTTP call failed with status code 0. Can not continue. \nhttps://books.example.org:8443/api/manifest/G/"},
        {"a part upload", [](Desktop& d) { ACFailure::httpUploadBookFailure(d); }, "HTTP failure",
         "There was a problem uploading your book. This sometimes happens when you disconnect from the internet "
         "briefly. Please try again."},
        {"an extraction error, which names no URL", [&](Desktop& d) { ACFailure::unzipFailure(d, unzipError); },
         "Extraction failed", "Extraction failed. Can not continue. \nfailed to open zip file"},
        {"an error that names a URL", [&](Desktop& d) { ACFailure::unzipFailure(d, withURL); }, "Extraction failed",
         "Extraction failed. Can not continue. \nThe file does not exist.\nfile:///books/gone.iba"},
        {"a book that cannot be prepared",
         [&](Desktop& d) { ACFailure::runAndTerminate(d, ACFailure::bookPreparationFailureAlert(diskFull)); },
         "Preparing the book failed",
         "Could not write \"/data/working/a.txt.part00000\": No space left on device. Can not continue."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::FakeDesktop fresh;
        int terminatedWhileUp = -1;
        fresh.alerts.onAlert = [&](const Alert&) { terminatedWhileUp = fresh.application.terminateCount; };
        c.fail(fresh.desktop);
        ASSERT_EQ(fresh.alerts.shown.size(), 1U);
        const Alert& alert = fresh.alerts.shown[0];
        EXPECT_EQ(alert.messageText, c.messageText);
        EXPECT_EQ(alert.informativeText, c.informativeText);
        EXPECT_EQ(alert.style, Alert::Style::Critical);
        EXPECT_TRUE(alert.buttons.empty()) << "the platform's single button";
        EXPECT_EQ(terminatedWhileUp, 0) << "the application ends only once the alert is dismissed";
        EXPECT_EQ(fresh.application.terminateCount, 1);
    }
}

}  // namespace
}  // namespace tomely
