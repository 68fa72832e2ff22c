#include "session/SessionTexts.h"

#include <gtest/gtest.h>

#include "common/ScopedEnvironment.h"

namespace tomely {
namespace {

TEST(SessionTextsTest, EachStageSaysWhatItDoesInTheWordsBothFrontEndsShow) {
    test::ScopedEnvironment environment;
    environment.set("TOMELY_SERVICE_URL", "https://books.example.org:8443/base/");
    const struct {
        SessionStage stage;
        std::optional<std::string> text;
    } cases[] = {
        {SessionStage::SigningIn, std::nullopt},
        {SessionStage::Opening, std::nullopt},
        {SessionStage::Listing, "Fetching your books from books.example.org"},
        {SessionStage::Splitting, "Checking the book is okay"},
        {SessionStage::Fingerprinting, "Looking for changes in your book"},
        {SessionStage::Comparing, "Starting book synchronization"},
        {SessionStage::Compressing, "Compressing your book before sending"},
        {SessionStage::Uploading, "Uploading book"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.stage));
        EXPECT_EQ(stageText(c.stage), c.text);
    }
}

TEST(SessionTextsTest, CountsAndUploadProgressReadAsTheAuthorHasAlwaysSeenThem) {
    EXPECT_EQ(countText("Checking the book is okay", 3, 10), "Checking the book is okay (3/10)");
    EXPECT_EQ(countText("Opening walk.iba", 0, 0), "Opening walk.iba (0/0)");
    const struct {
        double fraction;
        std::int64_t sent;
        std::int64_t total;
        const char* text;
    } cases[] = {
        {0.5, 3'000'000, 6'000'000, "Uploading book 50.00% (3.0 MB of about 6.0 MB)"},
        {0, 0, 0, "Uploading book 0.00% (0.0 MB of about 0.0 MB)"},
        // Decimal megabytes, not 1,048,576 bytes.
        {1, 1'048'576, 1'048'576, "Uploading book 100.00% (1.0 MB of about 1.0 MB)"},
        {0.123456, 149'999, 2'550'000, "Uploading book 12.35% (0.1 MB of about 2.5 MB)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(uploadText(c.fraction, c.sent, c.total), c.text);
    }
}

TEST(SessionTextsTest, ThePaceTellsTheRateAndTheTimeLeftInDecimalMegabytesAndClockTime) {
    const struct {
        std::optional<double> bytesPerSecond;
        std::optional<double> secondsLeft;
        const char* text;
    } cases[] = {
        {std::nullopt, std::nullopt, ""},        {2'500'000, 42, "2.5 MB/s, 0:42 left"},
        {1'048'576, 0.2, "1.0 MB/s, 0:01 left"}, {125'000, 3'725, "0.1 MB/s, 1:02:05 left"},
        {0, std::nullopt, "0.0 MB/s"},           {std::nullopt, 65, "1:05 left"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(paceText(c.bytesPerSecond, c.secondsLeft), c.text);
    }
}

TEST(SessionTextsTest, TheReceiptNamesTheBookMadeOrReplacedAndWhatWasSent) {
    BookListing listing;
    listing.books = std::vector<ExistingBook>{{"Walk Through", {"G"}, JSONValue(std::uint64_t{7})},
                                              {std::nullopt, {}, JSONValue("b-9")}};
    const auto summary = [](UploadTarget target, std::uint64_t parts, std::uint64_t sent, std::int64_t bytes) {
        SessionSummary made;
        made.parts = parts;
        made.partsSent = sent;
        made.bytesSent = bytes;
        made.target = std::move(target);
        return made;
    };
    const struct {
        const char* name;
        SessionSummary summary;
        std::optional<BookListing> listing;
        const char* text;
    } cases[] = {
        {"a replaced book with a title", summary({JSONValue(std::uint64_t{7}), std::nullopt}, 9, 4, 2'500'000), listing,
         R"(Replaced "Walk Through": 4 of 9 parts sent, 2.5 MB.)"},
        {"a replaced book without one", summary({JSONValue("b-9"), std::nullopt}, 9, 0, 0), listing,
         "Replaced book b-9: 0 of 9 parts sent, 0.0 MB."},
        {"a new book", summary({std::nullopt, "My Book"}, 12, 12, 6'049'999), std::nullopt,
         R"(Created "My Book": 12 of 12 parts sent, 6.0 MB.)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(receiptText(c.summary, c.listing), c.text);
    }
}

TEST(SessionTextsTest, TheRetryTextSaysTheWaitInWholeSecondsAndWhichAttemptComes) {
    struct Case {
        int attempt;
        int attempts;
        std::chrono::milliseconds delay;
        const char* text;
    };
    const Case cases[] = {
        {2, 5, std::chrono::milliseconds(4000), "Connection lost, trying again in 4 s (attempt 2 of 5)"},
        {3, 5, std::chrono::milliseconds(2400), "Connection lost, trying again in 2 s (attempt 3 of 5)"},
        {2, 5, std::chrono::milliseconds(1600), "Connection lost, trying again in 2 s (attempt 2 of 5)"},
        {5, 5, std::chrono::milliseconds(60000), "Connection lost, trying again in 60 s (attempt 5 of 5)"},
        {2, 2, std::chrono::milliseconds(200), "Connection lost, trying again in 1 s (attempt 2 of 2)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(retryText({SessionStage::Uploading, {}, c.attempt, c.attempts, c.delay}), c.text);
    }
}

}  // namespace
}  // namespace tomely
