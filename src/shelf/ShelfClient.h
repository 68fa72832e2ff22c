#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "http/CallFailure.h"
#include "http/RetryPolicy.h"
#include "json/JSONValue.h"
#include "shelf/ExistingBook.h"

namespace tomely {

class RetriedCall;

// The service answered the sign-in with 2xx: its session cookies are stored for every later call.
struct SignedIn {};
// The service answered the sign-in with 403: the author may correct the form and try again.
struct CredentialsRefused {};

using SignInResult = std::variant<SignedIn, CredentialsRefused, CallFailure>;
// The author's books; none when the body of the 2xx answer is not a JSON array.
using BookListResult = std::variant<std::optional<std::vector<ExistingBook>>, CallFailure>;
// A 2xx answer whose body is JSON to its caller.
struct JSONAnswer {
    // None when the body is not JSON.
    std::optional<JSONValue> body;
    int statusCode = 0;
    std::string url;

    // The call as failed after all, since what the answer says cannot be followed, for `why`.
    [[nodiscard]] CallFailure refusal(Error why) const { return {statusCode, url, std::move(why), std::nullopt, true}; }
};
using ManifestResult = std::variant<JSONAnswer, CallFailure>;

// How a call rides out failures that may pass: the policy (none by default), and a report of each
// wait before it begins, with the attempt that failed.
struct CallRetries {
    RetryPolicy policy = RetryPolicy();
    std::function<void(const CallFailure& failure, const RetryPolicy::Retry& retry)> retrying;
};

// A call under way. Dropping the handle does not stop the call.
class ShelfCall {
public:
    ShelfCall() = default;
    explicit ShelfCall(std::weak_ptr<RetriedCall> call) : call_(std::move(call)) {}

    // Makes the call report a CallFailure carrying the cancellation error, unless it has already
    // answered; a wait for the next attempt ends with the last attempt's failure. Main thread.
    void cancel() const;

private:
    std::weak_ptr<RetriedCall> call_;
};

// The calls both front ends make to the service, each with the request settings the wizard has
// always used, and each answer decoded here, once: a status outside 2xx (other than the sign-in's
// 403) or no answer at all becomes a CallFailure. Calls carry the session cookies of the shared
// cookie store, never credentials of their own (except the sign-in's form). Each call rides out
// failures that may pass as its CallRetries say: none unless asked.
//
// Threads: start calls on the main thread; each reports to its block exactly once, there.
// Ownership: a started call keeps itself alive until it has reported; the block is released then.
class ShelfClient {
public:
    // The manifest may take the service a while: it compares every fingerprint of the book.
    static constexpr double kManifestTimeOutSeconds = 60;

    // Url-encoded form post of "email" and "password", in that order, as typed; the HTTP client's
    // defaults otherwise. The call keeps its own copy of the password for its attempts, overwritten
    // once the call has ended, and follows no redirect to another server.
    ShelfCall signIn(std::string_view email, std::string_view password, std::function<void(SignInResult)> answered,
                     CallRetries retries = {}) const;
    // GET of the list of the author's books, with the HTTP client's defaults but room for a large
    // shelf (ServiceAPI::kMaxBookListBytes).
    ShelfCall listBooks(std::function<void(BookListResult)> answered, CallRetries retries = {}) const;
    // POST of `manifestText` as the whole body (no form fields, so no content type) for the book
    // `bookGuid`, with a 60-second time-out and room for a large answer
    // (ServiceAPI::kMaxManifestAnswerBytes).
    ShelfCall postManifest(std::string_view bookGuid, const std::string& manifestText,
                           std::function<void(ManifestResult)> answered, CallRetries retries = {}) const;
};

}  // namespace tomely
