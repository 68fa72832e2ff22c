// The sync against tomely-shelf through an emulated line, as an author's client meets the service;
// what the service rebuilt is read back through an independent client.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "ShelfClient.h"
#include "ShelfProcess.h"
#include "common/MainLoopFixture.h"
#include "common/NetworkEmulator.h"
#include "common/ScopedEnvironment.h"
#include "common/TemporaryDirectory.h"
#include "http/HTTPCookieStorage.h"
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
    BookSyncResult sync(const Book& book, std::size_t partsInFlight) {
        for (const auto& [path, content] : book) {
            test::writeFile(support + "/working/" + path, content);
        }
        auto run = BookSync::create(support, {kGuid, std::nullopt, "Shelf Test"});
        run->setMaxPartsInFlight(partsInFlight);
        std::optional<BookSyncResult> result;
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
};

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

}  // namespace
}  // namespace tomely
