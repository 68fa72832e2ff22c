#pragma once

#include <string>
#include <string_view>

#include "http/CallFailure.h"
#include "session/SessionEvents.h"

namespace tomely {

// How a run of the publisher ends, as its exit status; scripts branch on these.
enum class PublishExit : int {
    Published = 0,      // published, or nothing to send (also the end of a dry run)
    Usage = 2,          // bad arguments, no target chosen and none pre-selected, or a slug clash
    SignInRefused = 3,  // the service refused the e-mail address and password (403)
    BookUnreadable =
        4,  // not a zip, a damaged entry, no GUID, or a file of the book that cannot be written or read (a full disk)
    NetworkFailure = 5,  // no answer: the connection failed or timed out
    ServiceError = 6,    // an answer outside 2xx other than the sign-in's 403
    Interrupted = 130,   // SIGINT or SIGTERM: the queue cancelled, the run's files removed
};

// Said of a run that ended before the shelf held the whole book: the service keeps what came, and
// the manifest of the next run asks only for the rest.
inline constexpr std::string_view kRunAgainSendsWhatIsMissing =
    "running the same command again sends only what is missing";

// The end of a run that did not publish, with the line the author reads.
struct PublishFailure {
    PublishExit exit = PublishExit::Usage;
    std::string message;
};

// The end of a run whose call of `what` ("signing in", ...) failed: a request that failed (no
// answer, or an answer cut short, stalled, redirected in a loop or past its limit) is a network
// failure with the error's text; a 2xx answer that cannot be followed a service error that says
// why; any other status, and an authentication challenge the request could not answer, a service
// error whose message carries the status and, when the service sent one, its Retry-After.
[[nodiscard]] PublishFailure requestFailure(const std::string& what, const CallFailure& failure);

// The end of a run after `failure` of its session, which opened the book at `bookPath`: a book
// that cannot be opened, or a file of the sync that cannot be written or read (a full disk),
// leaves the book unreadable (exit 4) with the reason; a failed call as requestFailure() has it,
// followed by what to do: a sign-in that reached nothing points at the service's address, a failed
// manifest or upload says that running again sends only what is missing.
[[nodiscard]] PublishFailure sessionFailure(const SessionFailure& failure, std::string_view bookPath);

}  // namespace tomely
