#include "session/SessionTexts.h"

#include <algorithm>
#include <cstdio>

#include "http/ServiceURL.h"

namespace tomely {

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

std::string retryText(const SessionRetry& retry) {
    const long long seconds = std::max<long long>(1, (retry.delay.count() + 500) / 1000);
    return "Connection lost, trying again in " + std::to_string(seconds) + " s (attempt " +
           std::to_string(retry.attempt) + " of " + std::to_string(retry.attempts) + ")";
}

}  // namespace tomely
