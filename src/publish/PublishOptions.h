#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "http/RetryPolicy.h"
#include "session/SessionSettings.h"
#include "upload/ACMultiFileUploader.h"

namespace tomely {

// What a run of tomely-publish is asked to do. The password is not among them: it never comes
// from an argument, which other users may read in the process list.
struct PublishOptions {
    std::string bookPath;
    std::string email;
    // Read the password from standard input rather than from the Secret Service.
    bool passwordFromStdin = false;
    // The id, as typed, of the book to replace; or the title of a new book. Neither: the book
    // whose uploads carry this book's GUID.
    std::optional<std::string> replaceBookId;
    std::optional<std::string> newTitle;
    bool json = false;
    bool dryRun = false;
    // List the shelf's books, marking those uploaded from this book, instead of publishing.
    bool listBooks = false;
    // The service's base URL; none: the app's (TOMELY_SERVICE_URL, or the built-in one).
    std::optional<std::string> serviceURL;
    // Bytes per second; 0: no cap.
    std::uint64_t maxSendBytesPerSecond = 0;
    // Part uploads under way at once; 1: one after another.
    std::size_t partsInFlight = ACMultiFileUploader::kDefaultPartsInFlight;
    // Attempts after the first of a call that failed for a reason that may pass; 0: none.
    int retries = RetryPolicy::kRecommendedRetries;
};

struct HelpRequested {};
struct VersionRequested {};
struct UsageError {
    std::string message;
};

using ParsedCommandLine = std::variant<PublishOptions, HelpRequested, VersionRequested, UsageError>;

// Reads `arguments` (without the program name). `environment` answers a variable's value, or
// none when unset; TOMELY_EMAIL gives the address when --email does not.
[[nodiscard]] ParsedCommandLine parsePublishCommandLine(
    const std::vector<std::string>& arguments,
    const std::function<std::optional<std::string>(const char*)>& environment);

// "500K", "2M", "1.5M", "64000" (bytes per second; K and M are 1024 and 1024*1024, as curl and
// rsync read them). None for anything else, zero included.
[[nodiscard]] std::optional<std::uint64_t> parseRate(std::string_view text);

// A whole number from `least` to `most`; none for anything else.
[[nodiscard]] std::optional<int> parseCount(std::string_view text, int least, int most);

// The --help text, exit codes included.
[[nodiscard]] std::string publishUsageText();
// The --version line: "tomely-publish" and the version the app reports.
[[nodiscard]] std::string publishVersionText();

}  // namespace tomely
