#include "session/PublishSession.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>

#include "common/MainLoopFixture.h"
#include "common/ScopedEnvironment.h"
#include "common/ScriptedHTTPServer.h"
#include "common/TemporaryDirectory.h"
#include "common/ZipBuilder.h"
#include "http/HTTPCookieStorage.h"
#include "http/HTTPRequest.h"

namespace tomely {
namespace {

using test::ScriptedResponse;

constexpr const char* kIndex = R"(<sl:textbook sl:GUID="G-1"><sl:title>T</sl:title></sl:textbook>)";
constexpr const char* kAuth = "/api/author/shelf/upload/auth/";
constexpr const char* kList = "/api/author/shelf/upload/list/";
constexpr const char* kManifest = "/api/author/shelf/upload/manifest/G-1/";

// What a front end is told, in order; progress is kept apart.
struct Recorder : SessionObserver {
    void stageBegan(SessionStage stage) override { events.push_back(stageName(stage)); }
    void countProgressed(SessionStage stage, std::uint64_t done, std::uint64_t total) override {
        counts.push_back(std::string(stageName(stage)) + " " + std::to_string(done) + "/" + std::to_string(total));
    }
    void uploadProgressed(double /*fraction*/, std::int64_t bytesSent, std::int64_t bytesTotal) override {
        lastUpload = {bytesSent, bytesTotal};
    }
    void signedIn() override { events.emplace_back("signed in"); }
    void credentialsRefused() override { events.emplace_back("credentials refused"); }
    void booksListed(const BookListing& listing) override {
        listed = listing;
        events.emplace_back("books listed");
    }
    void targetChosen(const UploadTarget& /*target*/) override {
        events.emplace_back("target chosen");
        if (whenTargetChosen) {
            whenTargetChosen();
        }
    }
    void failed(const SessionFailure& failure) override {
        failures.push_back(failure);
        events.emplace_back("failed");
    }
    void ended(const SessionEnd& end) override {
        ends.push_back(end);
        events.emplace_back("ended");
    }

    std::function<void()> whenTargetChosen;
    std::vector<std::string> events;
    std::vector<std::string> counts;
    std::pair<std::int64_t, std::int64_t> lastUpload;
    std::optional<BookListing> listed;
    std::vector<SessionFailure> failures;
    std::vector<SessionEnd> ends;
};

// A session against a scripted service, its work area in a directory of the test's, every event
// recorded. Each call is answered as `answers` says (by path), and every part upload with 200.
class PublishSessionTest : public test::MainLoopFixture {
protected:
    PublishSessionTest() {
        environment.set("TOMELY_SERVICE_URL", server.baseURL());
        environment.set("XDG_CACHE_HOME", home.pathOf("cache"));
        HTTPCookieStorage::sharedHTTPCookieStorage().deleteAllCookies();
        // One index and a picture of two parts.
        test::ZipBuilder(book).add("index.xml", kIndex).add("cover.png", test::randomBytes(1'500'000, 3));
        answer({});
    }
    ~PublishSessionTest() override { HTTPCookieStorage::sharedHTTPCookieStorage().deleteAllCookies(); }

    // Calls not named are answered as a shelf that holds nothing yet answers them.
    void answer(std::map<std::string, ScriptedResponse> answers) {
        answers.try_emplace(kAuth, ScriptedResponse::text(200, "{}"));
        answers.try_emplace(kList, ScriptedResponse::text(200, R"([{"title": "Mine", "book_id": 4,
                                                                     "downloads": [{"guid": "G-1"}]}])"));
        answers.try_emplace(kManifest,
                            ScriptedResponse::text(200, R"(["/cover.png.part00000","/cover.png.part00001"])"));
        server.setHandler([answers](const test::RecordedRequest& request) {
            const auto found = answers.find(request.target);
            return found != answers.end() ? found->second : ScriptedResponse::text(200, "{}");
        });
    }

    // A new session whose work area is `area` (or none, for `noArea`).
    void startSession(std::optional<Error> noArea = std::nullopt) {
        session = PublishSession::create(ShelfClient(), [this, noArea](Error* error) -> std::optional<WorkArea> {
            if (noArea) {
                report(error, *noArea);
                return std::nullopt;
            }
            return WorkArea::inDirectory(area);
        });
        session->setObserver(recorder);
    }

    // Runs the main loop until the recorder has seen `event` (last).
    bool waitFor(const std::string& event) {
        return runUntil([&] { return !recorder->events.empty() && recorder->events.back() == event; },
                        std::chrono::seconds(60));
    }

    // Signs in, opens the book and lists the shelf.
    void openAndList() {
        session->signIn("ann@example.com", "secret");
        ASSERT_TRUE(waitFor("signed in"));
        session->openBook(book);
        ASSERT_TRUE(waitFor("books listed"));
    }

    test::ScriptedHTTPServer server;
    test::ScopedEnvironment environment;
    test::TemporaryDirectory home;
    const std::string book = home.pathOf("book.iba");
    const std::string area = home.pathOf("area");
    std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();
    std::shared_ptr<PublishSession> session;
};

TEST_F(PublishSessionTest, TheChainTellsEachStageListsTheShelfAndEndsOnceWithWhatItDid) {
    startSession();
    openAndList();
    ASSERT_TRUE(recorder->listed);
    EXPECT_EQ(recorder->listed->bookGuid, "G-1");
    ASSERT_TRUE(recorder->listed->books);
    EXPECT_EQ(recorder->listed->books->size(), 1U);
    EXPECT_EQ(recorder->listed->preselectedRow, 0U) << "its upload carries the GUID";
    EXPECT_EQ(recorder->counts, (std::vector<std::string>{"opening 1/2", "opening 2/2"}));

    session->sync({JSONValue(4), std::nullopt});
    ASSERT_TRUE(waitFor("ended"));
    drainMainLoop();
    EXPECT_EQ(recorder->events, (std::vector<std::string>{
                                    "signing-in", "signed in", "opening", "listing", "books listed", "target chosen",
                                    "splitting", "fingerprinting", "comparing", "compressing", "uploading", "ended"}));
    ASSERT_EQ(recorder->ends.size(), 1U);
    const SessionEnd& end = recorder->ends[0];
    EXPECT_EQ(end.result, SessionResult::Succeeded);
    EXPECT_EQ(end.summary.parts, 3U) << "the index and the picture's two parts";
    EXPECT_EQ(end.summary.partsSent, 2U);
    EXPECT_GT(end.summary.compressedBytes, 1'500'000U) << "noise does not compress";
    EXPECT_EQ(end.summary.bytesSent, recorder->lastUpload.second);
    ASSERT_TRUE(end.summary.target);
    EXPECT_EQ(end.summary.target->bookId, JSONValue(4));
    EXPECT_FALSE(std::filesystem::exists(area)) << "the sync removes its work area";
    EXPECT_EQ(server.requests().back().target, "/api/author/shelf/upload/G-1/");
}

TEST_F(PublishSessionTest, RefusedCredentialsLeaveItReadyToSignInAgain) {
    startSession();
    server.enqueue(ScriptedResponse::text(403, "wrong"));
    session->signIn("ann@example.com", "wrong");
    ASSERT_TRUE(waitFor("credentials refused"));
    session->signIn("ann@example.com", "secret");
    ASSERT_TRUE(waitFor("signed in"));
    EXPECT_EQ(recorder->events,
              (std::vector<std::string>{"signing-in", "credentials refused", "signing-in", "signed in"}));
    EXPECT_TRUE(recorder->ends.empty());
}

TEST_F(PublishSessionTest, AFailureIsToldOnceWithItsStageAndCauseAndThenTheEnd) {
    struct Case {
        const char* name;
        std::map<std::string, ScriptedResponse> answers;
        std::optional<Error> noArea;
        bool notAZip;
        SessionStage stage;
        std::string cause;  // "call <status> <path>" or "error <description>"
    };
    const Case cases[] = {
        {"sign-in answered 500",
         {{kAuth, ScriptedResponse::text(500, "")}},
         {},
         false,
         SessionStage::SigningIn,
         std::string("call 500 ") + kAuth},
        {"no work area",
         {},
         Error::make("SupportDirectoryErrorDomain", 0, "No path found for directory in domain."),
         false,
         SessionStage::Opening,
         "error No path found for directory in domain."},
        {"not a zip", {}, {}, true, SessionStage::Opening, "error failed to open zip file"},
        {"list answered 401",
         {{kList, ScriptedResponse::text(401, "")}},
         {},
         false,
         SessionStage::Listing,
         std::string("call 401 ") + kList},
        {"manifest answered 503",
         {{kManifest, ScriptedResponse::text(503, "")}},
         {},
         false,
         SessionStage::Comparing,
         std::string("call 503 ") + kManifest},
        {"manifest names nothing offered",
         {{kManifest, ScriptedResponse::text(200, R"(["/x"])")}},
         {},
         false,
         SessionStage::Comparing,
         std::string("call 200 ") + kManifest},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        answer(c.answers);
        if (c.notAZip) {
            test::writeFile(book, "not a zip archive");
        }
        recorder = std::make_shared<Recorder>();
        startSession(c.noArea);
        session->signIn("ann@example.com", "secret");
        runUntil([&] { return !recorder->events.empty() && recorder->events.back() != "signing-in"; });
        if (recorder->events.back() == "signed in") {
            session->openBook(book);
            runUntil([&] { return recorder->events.back() == "books listed" || recorder->events.back() == "ended"; });
        }
        if (recorder->events.back() == "books listed") {
            session->sync({std::nullopt, "New"});
            waitFor("ended");
        }
        drainMainLoop();
        ASSERT_EQ(recorder->failures.size(), 1U);
        EXPECT_EQ(recorder->failures[0].stage, c.stage);
        const auto* call = std::get_if<CallFailure>(&recorder->failures[0].cause);
        const auto* error = std::get_if<Error>(&recorder->failures[0].cause);
        EXPECT_EQ(call ? "call " + std::to_string(call->statusCode) + " " + call->url.substr(server.baseURL().size())
                       : "error " + error->localizedDescription(),
                  c.cause);
        ASSERT_EQ(recorder->ends.size(), 1U);
        EXPECT_EQ(recorder->ends[0].result, SessionResult::Failed);
        EXPECT_EQ(recorder->events.back(), "ended") << "nothing after the end";
        if (c.notAZip) {
            test::ZipBuilder(book).add("index.xml", kIndex).add("cover.png", test::randomBytes(1'500'000, 3));
        }
    }
}

TEST_F(PublishSessionTest, CancelEndsItAsCancelledFromEveryStateWithoutAFailure) {
    // A held call then ends only because it is cancelled, never by timing out.
    const struct NoTimeOut {
        NoTimeOut() { HTTPRequest::setDefaultTimeOutSeconds(0); }
        ~NoTimeOut() { HTTPRequest::setDefaultTimeOutSeconds(saved); }
        const double saved = HTTPRequest::defaultTimeOutSeconds();
    } noTimeOut;
    enum Reach { Idle, SigningIn, SignedIn, Opening, Listing, Listed, Syncing };
    struct Case {
        const char* name;
        Reach reach;
        const char* held;   // the call whose answer waits, if any
        std::size_t calls;  // made by then, the held one last
    };
    const Case cases[] = {
        {"idle", Idle, nullptr, 0},         {"signing in", SigningIn, kAuth, 1}, {"signed in", SignedIn, nullptr, 1},
        {"opening", Opening, nullptr, 1},   {"listing", Listing, kList, 2},      {"listed", Listed, nullptr, 2},
        {"syncing", Syncing, kManifest, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // A service of its own: an answer held there is let go only when it stops.
        test::ScriptedHTTPServer service;
        environment.set("TOMELY_SERVICE_URL", service.baseURL());
        service.setHandler([held = std::string(c.held ? c.held : "")](const test::RecordedRequest& request) {
            ScriptedResponse answer = ScriptedResponse::text(200, request.target == kList ? "[]" : "{}");
            answer.holdUntilReleased = request.target == held;
            return answer;
        });
        recorder = std::make_shared<Recorder>();
        startSession();
        if (c.reach >= SigningIn) {
            session->signIn("ann@example.com", "secret");
        }
        if (c.reach >= SignedIn) {
            ASSERT_TRUE(waitFor("signed in"));
        }
        if (c.reach >= Opening) {
            session->openBook(book);
        }
        if (c.reach == Listing) {
            ASSERT_TRUE(waitFor("listing"));
        }
        if (c.reach >= Listed) {
            ASSERT_TRUE(waitFor("books listed"));
        }
        if (c.reach == Syncing) {
            session->sync({std::nullopt, "New"});
            ASSERT_TRUE(waitFor("comparing"));
        }
        ASSERT_TRUE(service.waitForRequests(c.calls));
        session->cancel();
        ASSERT_TRUE(waitFor("ended"));
        drainMainLoop();
        ASSERT_EQ(recorder->ends.size(), 1U);
        EXPECT_EQ(recorder->ends[0].result, SessionResult::Cancelled);
        EXPECT_TRUE(recorder->failures.empty());
        EXPECT_EQ(recorder->events.back(), "ended");
    }
}

TEST_F(PublishSessionTest, ACancelWhileTheTargetIsToldStartsNoSync) {
    startSession();
    openAndList();
    recorder->whenTargetChosen = [this] { session->cancel(); };
    session->sync({std::nullopt, "New"});
    drainMainLoop();
    EXPECT_EQ(recorder->events.back(), "ended");
    ASSERT_EQ(recorder->ends.size(), 1U);
    EXPECT_EQ(recorder->ends[0].result, SessionResult::Cancelled);
    EXPECT_EQ(server.requests().back().target, kList) << "no manifest";
}

TEST_F(PublishSessionTest, AnOperationOutOfTurnIsRefused) {
    startSession();
    EXPECT_THROW(session->openBook(book), SessionOutOfTurn);
    EXPECT_THROW(session->sync({std::nullopt, "New"}), SessionOutOfTurn);
    session->signIn("ann@example.com", "secret");
    EXPECT_THROW(session->signIn("ann@example.com", "secret"), SessionOutOfTurn) << "one sign-in at a time";
    ASSERT_TRUE(waitFor("signed in"));
    EXPECT_THROW(session->sync({std::nullopt, "New"}), SessionOutOfTurn) << "nothing listed yet";
    EXPECT_TRUE(recorder->ends.empty());
}

}  // namespace
}  // namespace tomely
