// The sync against tomely-shelf through an emulated line, as an author's client meets the service;
// what the service rebuilt is read back through an independent client.
#include <gtest/gtest.h>

#include <algorithm>

#include <nlohmann/json.hpp>

#include "ShelfClient.h"
#include "ShelfProcess.h"
#include "common/ImmediateRetries.h"
#include "common/MainLoopFixture.h"
#include "common/NetworkEmulator.h"
#include "common/ScopedEnvironment.h"
#include "common/TemporaryDirectory.h"
#include "http/HTTPCookieStorage.h"
#include "http/HTTPRequest.h"
#include "platform/MainLoop.h"
#include "upload/BookSync.h"

namespace tomely {
namespace {

using namespace std::chrono_literals;
using Book = std::map<std::string, std::string>;

constexpr const char* kEmail = "ann@example.com";
constexpr const char* kPassword = "ann-secret";
constexpr const char* kGuid = "SHELF-GUID-1";

class BookSyncShelfTest : public test::MainLoopFixture {
protected:
    BookSyncShelfTest() {
        environment.set("XDG_CACHE_HOME", home.pathOf("cache"));
        HTTPCookieStorage::sharedHTTPCookieStorage().deleteAllCookies();
    }
    ~BookSyncShelfTest() override { HTTPCookieStorage::sharedHTTPCookieStorage().deleteAllCookies(); }

    // Starts the service with `options` added and a line in front of it, and signs in through it.
    void startService(const test::NetworkEmulator::Options& line, std::vector<std::string> options = {}) {
        line_.reset();
        service_.reset();
        std::vector<std::string> arguments = {"--listen", "127.0.0.1:0", "--data", home.pathOf("shelf")};
        arguments.insert(arguments.end(), options.begin(), options.end());
        service_ = std::make_unique<shelf::client::ShelfProcess>(
            TOMELY_SHELF_EXECUTABLE, arguments, shelf::client::ShelfProcess::Users{{kEmail, kPassword}});
        test::NetworkEmulator::Options toService = line;
        toService.targetPort = service_->port();
        line_ = std::make_unique<test::NetworkEmulator>(toService);
        environment.set("TOMELY_SERVICE_URL", line_->baseURL());
        const URL url(line_->baseURL() + "/");
        const auto reply = shelf::client::ShelfClient("127.0.0.1", service_->port()).signIn(kEmail, kPassword);
        ASSERT_EQ(reply.status, 200);
        HTTPCookieStorage::sharedHTTPCookieStorage().setCookies(
            HTTPCookieStorage::cookiesWithResponseHeaderFields({reply.setCookie}, url), url);
    }

    // Syncs `book` as a new book with `partsInFlight` parts at once and runs it to its end.
    BookSyncResult sync(const Book& book, std::size_t partsInFlight, RetryPolicy retryPolicy = RetryPolicy()) {
        for (const auto& [path, content] : book) {
            test::writeFile(support + "/working/" + path, content);
        }
        failures.clear();
        retries.clear();
        auto run = BookSync::create(ShelfClient(), WorkArea::inDirectory(support), kGuid, {std::nullopt, "Shelf Test"});
        run->setMaxPartsInFlight(partsInFlight);
        run->setRetryPolicy(std::move(retryPolicy));
        std::optional<BookSyncResult> result;
        run->setRetryingBlock([this](const BookSyncRetry& retry) { retries.push_back(retry); });
        run->setFailureBlock([this](const BookSyncFailure& failure) { failures.push_back(failure); });
        run->setFinishedBlock([&result](BookSyncResult finished) { result = finished; });
        run->start();
        EXPECT_TRUE(runUntil([&] { return result.has_value(); }, 60s));
        return result.value_or(BookSyncResult::Cancelled);
    }

    // The files of the author's latest version of the one book on the shelf.
    Book shelfBook() {
        shelf::client::ShelfClient client("127.0.0.1", service_->port());
        client.signIn(kEmail, kPassword);
        const auto books = nlohmann::json::parse(client.list().body);
        EXPECT_EQ(books.size(), 1U);
        const auto& latest = books.at(0).at("downloads").at(0);
        return shelf::client::unzipAll(client.get(latest.at("url").get<std::string>()).body).value_or(Book{});
    }

    test::ScopedEnvironment environment;
    test::TemporaryDirectory home;
    const std::string support = home.pathOf("support");
    std::unique_ptr<shelf::client::ShelfProcess> service_;
    std::unique_ptr<test::NetworkEmulator> line_;
    std::vector<BookSyncFailure> failures;
    std::vector<BookSyncRetry> retries;
};

// What an author would be told of a failed attempt: its status, else its error's text.
std::string causeOf(const BookSyncFailure& failure) {
    const auto* call = std::get_if<CallFailure>(&failure.cause);
    if (call == nullptr) {
        return "not a call";
    }
    return call->error ? call->error->localizedDescription() : std::to_string(call->statusCode);
}

// Six parts of a new book: the manifest goes on a connection of its own, the parts share theirs.
TEST_F(BookSyncShelfTest, PartsInFlightArriveWholeAndKeepTheirConnectionsForTheNextPart) {
    const Book book = {{"index.xml", "<book/>"}, {"movie.m4v", test::randomBytes(5'500'000, 7)}};
    struct Case {
        std::size_t partsInFlight;
        std::size_t mostConnections;
    };
    for (const Case c : {Case{1, 2}, Case{4, 5}}) {
        SCOPED_TRACE(c.partsInFlight);
        startService(test::NetworkEmulator::symmetric(0, 0us, 0));
        EXPECT_EQ(sync(book, c.partsInFlight), BookSyncResult::Succeeded);
        EXPECT_TRUE(failures.empty());
        EXPECT_EQ(shelfBook(), book);
        EXPECT_LE(line_->connectionsAccepted(), c.mostConnections);
        std::filesystem::remove_all(home.pathOf("shelf"));
    }
}

// The service's faults strike the part uploads after the first one, one part at a time; the
// publish rides them out. A part waiting to be sent again leaves its place to the next part, so
// the third fault of the last case strikes the part after the stalled one. A dropped connection
// is sent again at once, quietly, by the HTTP client itself (as it always has), and costs no
// attempt unless that repeat is dropped as well.
TEST_F(BookSyncShelfTest, APublishRidesOutADropAStallAndA503AndIsWhole) {
    const Book book = {{"index.xml", "<book/>"}, {"movie.m4v", test::randomBytes(3'500'000, 8)}};
    const double savedTimeOut = HTTPRequest::defaultTimeOutSeconds();
    // A stall ends in a time-out of one and a half seconds (a body gets half as long again).
    HTTPRequest::setDefaultTimeOutSeconds(1);
    struct Attempt {
        int attempt;
        std::chrono::milliseconds delay;
        std::string cause;
    };
    struct Case {
        const char* name;
        std::string kinds;
        std::string count;
        std::vector<Attempt> retries;
    };
    const Case cases[] = {
        {"a 503", "503", "1", {{2, 1000ms, "503"}}},
        {"a stall", "stall", "1", {{2, 1000ms, "The request timed out"}}},
        {"a drop", "drop", "1", {}},
        {"all of them in one publish",
         "drop,stall,503",
         "3",
         {{2, 1000ms, "The request timed out"}, {2, 1000ms, "503"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(home.pathOf("shelf"));
        startService(test::NetworkEmulator::symmetric(0, 0us, 0),
                     {"--fault-after-parts", "1", "--fault-kind", c.kinds, "--fault-count", c.count});
        EXPECT_EQ(sync(book, 1, test::immediateRetries(RetryPolicy::kRecommendedRetries)), BookSyncResult::Succeeded);
        EXPECT_TRUE(failures.empty());
        ASSERT_EQ(retries.size(), c.retries.size());
        for (std::size_t i = 0; i < retries.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(retries[i].attempt, c.retries[i].attempt);
            EXPECT_EQ(retries[i].attempts, 5);
            EXPECT_EQ(retries[i].delay, c.retries[i].delay);
            EXPECT_EQ(causeOf(retries[i].failure), c.retries[i].cause);
            EXPECT_EQ(retries[i].failure.stage, BookSyncStage::Uploading);
        }
        EXPECT_EQ(shelfBook(), book);
    }
    HTTPRequest::setDefaultTimeOutSeconds(savedTimeOut);
}

// Every part after the first fails for good; the first part whose retries are spent ends the sync.
TEST_F(BookSyncShelfTest, WhenAPartsRetriesAreSpentItsFailureIsReportedOnceAndNothingIsPublished) {
    const Book book = {{"index.xml", "<book/>"}, {"movie.m4v", test::randomBytes(3'500'000, 9)}};
    struct Case {
        const char* name;
        std::string kind;
        std::string cause;
    };
    for (const Case& c :
         {Case{"503 for good", "503", "503"}, Case{"dropped for good", "drop", "A connection failure occurred"}}) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(home.pathOf("shelf"));
        startService(test::NetworkEmulator::symmetric(0, 0us, 0), {"--fault-after-parts", "1", "--fault-kind", c.kind});
        EXPECT_EQ(sync(book, 1, test::immediateRetries(2)), BookSyncResult::Failed);
        ASSERT_EQ(failures.size(), 1U);
        EXPECT_EQ(causeOf(failures[0]), c.cause);
        EXPECT_EQ(failures[0].stage, BookSyncStage::Uploading);
        EXPECT_TRUE(std::ranges::all_of(retries, [&](const BookSyncRetry& retry) {
            return retry.attempts == 3 && causeOf(retry.failure) == c.cause;
        }));
        EXPECT_TRUE(std::ranges::any_of(retries, [](const BookSyncRetry& retry) { return retry.attempt == 3; }))
            << "the part that failed was sent three times";
        shelf::client::ShelfClient client("127.0.0.1", service_->port());
        client.signIn(kEmail, kPassword);
        EXPECT_EQ(nlohmann::json::parse(client.list().body), nlohmann::json::array());
    }
}

}  // namespace
}  // namespace tomely
