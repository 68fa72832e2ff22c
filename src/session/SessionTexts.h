#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "session/SessionEvents.h"
#include "session/SessionStage.h"

namespace tomely {

// The words both front ends show for the session's stages, in one place. The wizard's steps keep
// the texts only they show (working info, alerts, labels), the publisher its own sentences.

// What a stage does, for the author: "Fetching your books from <host>", "Checking the book is
// okay", "Looking for changes in your book", "Starting book synchronization", "Compressing your
// book before sending", "Uploading book". None for signing in and opening, which each front end
// says in its own way.
[[nodiscard]] std::optional<std::string> stageText(SessionStage stage);

// "Checking the book is okay (3/10)": a stage's text with the files done so far.
[[nodiscard]] std::string countText(std::string_view activity, std::uint64_t done, std::uint64_t total);

// "Uploading book 50.00% (3.0 MB of about 6.0 MB)": decimal megabytes, rounded to single
// precision as the upload step has always shown them.
[[nodiscard]] std::string uploadText(double fraction, std::int64_t bytesSent, std::int64_t bytesTotal);

// "2.5": decimal megabytes with one decimal, as the author reads sizes everywhere.
[[nodiscard]] std::string megabytesText(double bytes);

// "2.5 MB/s, 1:05 left": how fast an upload goes and how long it still needs, each left out while
// unknown; "" while both are.
[[nodiscard]] std::string paceText(std::optional<double> bytesPerSecond, std::optional<double> secondsLeft);

// What a finished session did, in one line: "Replaced "Walk Through": 4 of 9 parts sent, 2.5 MB."
// or "Created "My Book": 9 of 9 parts sent, 6.0 MB.". A replaced book is named by its title in
// `listing`, or by its id when the list gave it none.
[[nodiscard]] std::string receiptText(const SessionSummary& summary, const std::optional<BookListing>& listing);

// "Connection lost, trying again in 4 s (attempt 2 of 5)": the wait in whole seconds, at least 1.
[[nodiscard]] std::string retryText(const SessionRetry& retry);

}  // namespace tomely
