#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "http/CallFailure.h"
#include "platform/Error.h"
#include "session/SessionStage.h"
#include "shelf/ExistingBook.h"
#include "shelf/UploadTarget.h"

namespace tomely {

// What opening the book and listing the shelf found: what a target is chosen from.
struct BookListing {
    std::string bookGuid;
    // None when the answer was not a JSON array: then only a new book can be made.
    std::optional<std::vector<ExistingBook>> books;
    // The last book one of whose uploads carries the GUID; none when no book does.
    std::optional<std::size_t> preselectedRow;
};

// Why a session failed, and in which stage: a call to the service (no answer, a status it cannot
// use, or a 2xx answer it cannot follow, the call's `error` saying why), or an Error of this
// machine (the book cannot be opened, or a file of the sync cannot be written or read).
struct SessionFailure {
    SessionStage stage = SessionStage::SigningIn;
    std::variant<CallFailure, Error> cause;
};

// A call of `stage` failed for a reason that may pass; it is made again once `delay` has passed,
// as attempt `attempt` of `attempts`. The session goes on meanwhile (other parts with it).
struct SessionRetry {
    SessionStage stage = SessionStage::SigningIn;
    CallFailure failure;
    int attempt = 0;
    int attempts = 0;
    std::chrono::milliseconds delay{0};
};

enum class SessionResult {
    Succeeded,  // the shelf holds the book (or, in a dry run, it is fingerprinted)
    Failed,     // a failure was reported just before
    Cancelled,  // cancel() stopped it
};

// What a session did, as far as it came.
struct SessionSummary {
    // Part files fingerprinted, and the bytes of their compressed forms.
    std::uint64_t parts = 0;
    std::uint64_t compressedBytes = 0;
    // Part files the service asked for, and the bytes of their requests sent.
    std::uint64_t partsSent = 0;
    std::int64_t bytesSent = 0;
    // Where the book went; none before a target was chosen.
    std::optional<UploadTarget> target;
};

struct SessionEnd {
    SessionResult result = SessionResult::Failed;
    SessionSummary summary;
};

}  // namespace tomely
