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

}  // namespace
}  // namespace tomely
