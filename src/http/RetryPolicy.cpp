#include "http/RetryPolicy.h"

#include <curl/curl.h>

#include <algorithm>
#include <charconv>
#include <random>

#include "http/HTTPCookie.h"
#include "http/HTTPRequest.h"
#include "http/HTTPRequestError.h"
#include "platform/MainLoop.h"

namespace tomely {
namespace {

double randomJitter() {
    thread_local std::mt19937 generator{std::random_device{}()};
    return std::uniform_real_distribution<double>(0.0, 1.0)(generator);
}

bool isTransientStatus(int statusCode) {
    switch (statusCode) {
        case 408:  // Request Timeout
        case 429:  // Too Many Requests
        case 500:  // Internal Server Error
        case 502:  // Bad Gateway
        case 503:  // Service Unavailable
        case 504:  // Gateway Timeout
            return true;
        default:
            return false;
    }
}

// Refused, reset or lost: what a line or a restarting service does. A TLS failure, a name that
// does not resolve and the like are not worth another attempt.
bool isTransientTransportFailure(const Error& error) {
    const auto& underlying = error.underlyingError;
    if (!underlying || underlying->domain != kCurlErrorDomain) {
        return false;
    }
    switch (static_cast<CURLcode>(underlying->code)) {
        case CURLE_COULDNT_CONNECT:
        case CURLE_SEND_ERROR:
        case CURLE_RECV_ERROR:
        case CURLE_GOT_NOTHING:
        case CURLE_PARTIAL_FILE:
            return true;
        default:
            return false;
    }
}

}  // namespace

RetryPolicy::RetryPolicy(int retries)
    : retries_(std::max(retries, 0)),
      jitter_(randomJitter),
      wait_([](std::chrono::milliseconds delay, std::function<void()> next) {
          MainLoop::shared()->postAfter(delay, std::move(next));
      }) {}

bool RetryPolicy::isTransient(int statusCode, const std::optional<Error>& error) {
    if (!error) {
        return isTransientStatus(statusCode);
    }
    if (error->domain != kNetworkRequestErrorDomain) {
        return false;
    }
    return error->code == kRequestTimedOutErrorType ||
           (error->code == kConnectionFailureErrorType && isTransientTransportFailure(*error));
}

std::optional<RetryPolicy::Retry> RetryPolicy::nextAttempt(int failedAttempt, int statusCode,
                                                           const std::optional<Error>& error,
                                                           std::optional<std::string_view> retryAfter,
                                                           std::chrono::system_clock::time_point now) const {
    if (failedAttempt < 1 || failedAttempt > retries_ || !isTransient(statusCode, error)) {
        return std::nullopt;
    }
    // Doubling stops where a wait would outlast any line's trouble anyway (about nine hours).
    const int doublings = std::min(failedAttempt - 1, 15);
    const double stretch = 1.0 + 0.25 * std::clamp(jitter_(), 0.0, 1.0);
    auto delay = std::chrono::duration_cast<std::chrono::milliseconds>(kFirstDelay * (1 << doublings) * stretch);
    if (const auto asked = retryAfter && !error ? parseRetryAfter(*retryAfter, now) : std::nullopt) {
        if (*asked > kLongestRetryAfter) {
            return std::nullopt;
        }
        delay = std::max<std::chrono::milliseconds>(delay, *asked);
    }
    return Retry{failedAttempt + 1, retries_ + 1, delay};
}

std::optional<RetryPolicy::Retry> RetryPolicy::nextAttempt(int failedAttempt, const HTTPRequest& request) const {
    const HTTPHeaders headers = request.responseHeaders();
    const auto retryAfter = headers.find("Retry-After");
    return nextAttempt(
        failedAttempt, request.responseStatusCode(), request.error(),
        retryAfter == headers.end() ? std::nullopt : std::optional<std::string_view>(retryAfter->second));
}

void RetryPolicy::wait(const Retry& retry, std::function<void()> next) const {
    wait_(retry.delay, std::move(next));
}

std::optional<std::chrono::seconds> RetryPolicy::parseRetryAfter(std::string_view value,
                                                                 std::chrono::system_clock::time_point now) {
    const auto first = value.find_first_not_of(" \t");
    const auto last = value.find_last_not_of(" \t");
    if (first == std::string_view::npos) {
        return std::nullopt;
    }
    value = value.substr(first, last + 1 - first);
    long long seconds = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), seconds);
    if (error == std::errc() && end == value.data() + value.size()) {
        return seconds >= 0 ? std::optional(std::chrono::seconds(seconds)) : std::nullopt;
    }
    if (error == std::errc::result_out_of_range && value.find_first_not_of("0123456789") == std::string_view::npos) {
        return std::chrono::seconds::max();
    }
    // An HTTP date is one of the forms a cookie's expiry takes.
    const auto date = parseCookieDate(value);
    if (!date) {
        return std::nullopt;
    }
    return std::max(std::chrono::duration_cast<std::chrono::seconds>(*date - now), std::chrono::seconds(0));
}

}  // namespace tomely
