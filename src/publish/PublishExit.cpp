#include "publish/PublishExit.h"

#include "http/HTTPRequestError.h"

namespace tomely {
namespace {

// What the run was doing, in the failure's words.
const char* callOf(SessionStage stage) {
    switch (stage) {
        case SessionStage::SigningIn:
            return "signing in";
        case SessionStage::Listing:
            return "listing your books";
        case SessionStage::Comparing:
            return "comparing the book with your shelf";
        default:
            return "uploading the book";
    }
}

}  // namespace

PublishFailure requestFailure(const std::string& what, const CallFailure& failure) {
    if (failure.answerRefused && failure.error) {
        return {PublishExit::ServiceError,
                what + " failed: " + failure.error->localizedDescription() + " (" + failure.url + ")"};
    }
    // A request that failed did so whatever status it had read: a body cut short or stalled, or a
    // redirect loop, is the network's failure. Only a challenge that no credentials answer (a 401
    // or 407, which fails the request) is the service's own answer.
    const std::optional<Error>& error = failure.error;
    const bool challenge =
        error && (error->code == kAuthenticationErrorType || error->code == kInternalErrorWhileApplyingCredentialsType);
    if (failure.statusCode == 0 || (error && !challenge)) {
        const std::string reason = error ? error->localizedDescription() : std::string("no answer");
        return {PublishExit::NetworkFailure, what + " failed: " + reason + " (" + failure.url + ")"};
    }
    std::string message =
        what + " failed: the service answered " + std::to_string(failure.statusCode) + " (" + failure.url + ")";
    if (failure.retryAfter) {
        message += "; retry after " + *failure.retryAfter + " s";
    }
    return {PublishExit::ServiceError, message};
}

PublishFailure sessionFailure(const SessionFailure& failure, std::string_view bookPath) {
    if (const auto* local = std::get_if<Error>(&failure.cause)) {
        if (failure.stage == SessionStage::Opening) {
            return {PublishExit::BookUnreadable,
                    "cannot open " + std::string(bookPath) + ": " + local->localizedDescription()};
        }
        return {PublishExit::BookUnreadable, "preparing the book failed: " + local->localizedDescription()};
    }
    const auto& call = std::get<CallFailure>(failure.cause);
    PublishFailure ended = requestFailure(callOf(failure.stage), call);
    // What to do next. Nothing reached the first call: most likely the address is wrong.
    if (failure.stage == SessionStage::SigningIn && call.statusCode == 0) {
        ended.message += "; check the service's address (--service URL or TOMELY_SERVICE_URL)";
    } else if (failure.stage == SessionStage::Comparing || failure.stage == SessionStage::Uploading) {
        ended.message += "; " + std::string(kRunAgainSendsWhatIsMissing);
    }
    return ended;
}

}  // namespace tomely
