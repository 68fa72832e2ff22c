#include <thread>

#include "ShelfHarness.h"

namespace tomely::shelf::test {
namespace {

using IsolationTest = ShelfTest;
using client::Target;

TEST_F(IsolationTest, TwoAuthorsSyncingTheSameGuidAtOnceEachGetTheirOwnBook) {
    const auto adaFiles = sampleBook(11);
    const auto bobFiles = sampleBook(12);
    client::SyncResult adaResult;
    client::SyncResult bobResult;
    {
        std::thread ada([&] {
            adaResult = signedIn(kAda, kAdaPassword)->sync("SAME", client::splitBook(adaFiles), {{}, "Title"});
        });
        std::thread bob([&] {
            bobResult = signedIn(kBob, kBobPassword)->sync("SAME", client::splitBook(bobFiles), {{}, "Title"});
        });
        ada.join();
        bob.join();
    }
    ASSERT_EQ(adaResult.failure.status, 200) << adaResult.failure.body;
    ASSERT_EQ(bobResult.failure.status, 200) << bobResult.failure.body;

    auto ada = signedIn(kAda, kAdaPassword);
    auto bob = signedIn(kBob, kBobPassword);
    const auto adaBook = booksOf(*ada).at(0);
    const auto bobBook = booksOf(*bob).at(0);
    EXPECT_EQ(downloadedFiles(*ada, adaBook["downloads"][0]), adaFiles);
    EXPECT_EQ(downloadedFiles(*bob, bobBook["downloads"][0]), bobFiles);

    // Bob can neither download Ada's version nor add a version to her book.
    EXPECT_EQ(bob->get(adaBook["downloads"][0].at("url")).status, 404);
    const std::int64_t adaBookId = adaBook.at("book_id");
    const auto parts = client::splitBook(bobFiles);
    EXPECT_EQ(bob->postManifest("SAME", client::manifestJson(parts, "SAME", {adaBookId, {}})).status, 404);
    EXPECT_EQ(booksOf(*ada)[0].at("downloads").size(), 1U);
}

TEST_F(IsolationTest, PartsAnotherAuthorHoldsAreStillAskedFor) {
    const auto parts = client::splitBook(sampleBook(13));
    ASSERT_EQ(signedIn(kAda, kAdaPassword)->sync("G13", parts, {{}, "Ada's"}).failure.status, 200);
    // Knowing a fingerprint must not be enough to get someone else's part into a book.
    auto bob = signedIn(kBob, kBobPassword);
    const auto reply = bob->postManifest("G13", client::manifestJson(parts, "G13", {{}, "Bob's"}));
    ASSERT_EQ(reply.status, 200);
    EXPECT_EQ(nlohmann::json::parse(reply.body).size(), parts.size());
    EXPECT_TRUE(booksOf(*bob).empty());
}

}  // namespace
}  // namespace tomely::shelf::test
