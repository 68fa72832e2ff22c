#include "session/SessionTexts.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "http/ServiceURL.h"

namespace tomely {
namespace {

// "1:05", or "1:02:05" from an hour on; seconds rounded up, so that "0:00" means done.
std::string clockDuration(double seconds) {
    const auto whole = static_cast<long long>(std::ceil(seconds));
    char text[32];
    if (whole >= 3600) {
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60, whole % 60);
    } else {
        std::snprintf(text, sizeof text, "%lld:%02lld", whole / 60, whole % 60);
    }
    return text;
}

// The replaced book's title in the list, else its id as the service wrote it.
std::string replacedBookName(const JSONValue& bookId, const std::optional<BookListing>& listing) {
    if (listing && listing->books) {
        for (const ExistingBook& book : *listing->books) {
            if (book.bookId == bookId && book.title) {
                return "\"" + *book.title + "\"";
            }
        }
    }
    return "book " + bookIdText(bookId);
}

}  // namespace

std::optional<std::string> stageText(SessionStage stage) {
    switch (stage) {
        case SessionStage::SigningIn:
        case SessionStage::Opening:
            return std::nullopt;
        case SessionStage::Listing:
            return "Fetching your books from " + serviceDomainName();
        case SessionStage::Splitting:
            return "Checking the book is okay";
        case SessionStage::Fingerprinting:
            return "Looking for changes in your book";
        case SessionStage::Comparing:
            return "Starting book synchronization";
        case SessionStage::Compressing:
            return "Compressing your book before sending";
        case SessionStage::Uploading:
            return "Uploading book";
    }
    return std::nullopt;
}

std::string countText(std::string_view activity, std::uint64_t done, std::uint64_t total) {
    return std::string(activity) + " (" + std::to_string(done) + "/" + std::to_string(total) + ")";
}

std::string uploadText(double fraction, std::int64_t bytesSent, std::int64_t bytesTotal) {
    const auto megabytes = [](std::int64_t bytes) {
        return static_cast<double>(static_cast<float>(static_cast<double>(bytes) / 1'000'000.0));
    };
    char text[160];
    std::snprintf(text, sizeof text, "Uploading book %.02f%% (%.01f MB of about %.01f MB)", fraction * 100,
                  megabytes(bytesSent), megabytes(bytesTotal));
    return text;
}

std::string megabytesText(double bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", bytes / 1'000'000.0);
    return text;
}

std::string paceText(std::optional<double> bytesPerSecond, std::optional<double> secondsLeft) {
    std::string text;
    if (bytesPerSecond) {
        text = megabytesText(*bytesPerSecond) + " MB/s";
    }
    if (secondsLeft) {
        text += (text.empty() ? "" : ", ") + clockDuration(*secondsLeft) + " left";
    }
    return text;
}

std::string receiptText(const SessionSummary& summary, const std::optional<BookListing>& listing) {
    const UploadTarget target = summary.target.value_or(UploadTarget{});
    const std::string what = target.bookId ? "Replaced " + replacedBookName(*target.bookId, listing)
                                           : "Created \"" + target.bookName.value_or("") + "\"";
    return what + ": " + std::to_string(summary.partsSent) + " of " + std::to_string(summary.parts) + " parts sent, " +
           megabytesText(static_cast<double>(summary.bytesSent)) + " MB.";
}

std::string retryText(const SessionRetry& retry) {
    const long long seconds = std::max<long long>(1, (retry.delay.count() + 500) / 1000);
    return "Connection lost, trying again in " + std::to_string(seconds) + " s (attempt " +
           std::to_string(retry.attempt) + " of " + std::to_string(retry.attempts) + ")";
}

}  // namespace tomely
