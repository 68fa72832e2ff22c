#include <nlohmann/json.hpp>

#include "ShelfHarness.h"

namespace tomely::shelf::test {
namespace {

using FaultTest = ShelfTest;

// The client's end-to-end tests meet every kind of fault; what they cannot see is that a faulted
// part is not stored and that a stalled answer does not hold up a stop.
TEST_F(FaultTest, AStalledPartIsNotStoredAndDoesNotHoldUpAStop) {
    restart([](ServerOptions& options) {
        options.faults.afterParts = 1;
        options.faults.kinds = {FaultKind::Stall};
    });
    auto ada = signedIn(kAda, kAdaPassword);
    const auto parts = client::splitBook(sampleBook(31));
    const client::Target target{{}, "Faulty"};
    const auto manifest = client::manifestJson(parts, "G31", target);
    ASSERT_EQ(ada->postManifest("G31", manifest).status, 200);
    ASSERT_EQ(ada->postPart("G31", client::partForm(parts[0], 0, 5, target)).status, 200);
    ada->setReadTimeout(1);
    EXPECT_EQ(ada->postPart("G31", client::partForm(parts[1], 1, 5, target)).status, 0);
    // A stop that waited for the stall limit would hit the test's time-out instead.
    ada.reset();
    restart();
    ada = signedIn(kAda, kAdaPassword);
    EXPECT_EQ(nlohmann::json::parse(ada->postManifest("G31", manifest).body).size(), 4U);
}

TEST_F(FaultTest, OnlyTheNextFewPartsFailEachWithTheNextKindAndTheirRetriesAreTaken) {
    restart([](ServerOptions& options) {
        options.faults.afterParts = 1;
        options.faults.kinds = {FaultKind::Unavailable, FaultKind::Drop, FaultKind::Stall};
        options.faults.count = 3;
    });
    auto ada = signedIn(kAda, kAdaPassword);
    ada->setReadTimeout(2);
    const auto parts = client::splitBook(sampleBook(32));
    const client::Target target{{}, "Flaky"};
    ASSERT_EQ(ada->postManifest("G32", client::manifestJson(parts, "G32", target)).status, 200);
    const auto send = [&](std::size_t index) {
        return ada->postPart("G32", client::partForm(parts[index], index, parts.size(), target));
    };
    const struct {
        const char* name;
        std::size_t part;
        int status;
    } attempts[] = {
        {"before the faults", 0, 200},
        {"first fault: 503", 1, 503},
        {"second fault: dropped", 2, 0},
        {"third fault: stalled", 3, 0},
        {"1 again", 1, 200},
        {"2 again", 2, 200},
        {"3 again", 3, 200},
        {"the last, untouched", 4, 200},
    };
    for (const auto& attempt : attempts) {
        SCOPED_TRACE(attempt.name);
        EXPECT_EQ(send(attempt.part).status, attempt.status);
    }
    const auto books = booksOf(*ada);
    ASSERT_EQ(books.size(), 1U);
    EXPECT_EQ(downloadedFiles(*ada, books[0].at("downloads").at(0)), sampleBook(32));
}

}  // namespace
}  // namespace tomely::shelf::test
