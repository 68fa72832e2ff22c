#include "http/RetryPolicy.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>

#include "RequestFixture.h"
#include "http/HTTPCookie.h"
#include "http/HTTPRequestError.h"

namespace tomely {
namespace {

using namespace std::chrono_literals;
using Retry = RetryPolicy::Retry;

// A failure without an answer, as the client reports it: code 1 with curl's result beneath.
Error connectionFailure(CURLcode result) {
    Error error = Error::make(std::string(kNetworkRequestErrorDomain), kConnectionFailureErrorType,
                              "A connection failure occurred");
    error.underlyingError = std::make_shared<const Error>(Error::make(std::string(kCurlErrorDomain), result, "curl"));
    return error;
}

Error requestError(HTTPRequestErrorCode code) {
    return Error::make(std::string(kNetworkRequestErrorDomain), code, "failed");
}

RetryPolicy policyWithJitter(int retries, double jitter) {
    RetryPolicy policy(retries);
    policy.setJitter([jitter] { return jitter; });
    return policy;
}

TEST(RetryPolicyTest, OnlyALineOrAServiceInTroubleIsWorthAnotherAttempt) {
    struct Case {
        const char* name;
        int status;
        std::optional<Error> error;
        bool transient;
    };
    const Case cases[] = {
        {"403, as a refused sign-in answers", 403, std::nullopt, false},
        {"400", 400, std::nullopt, false},
        {"404", 404, std::nullopt, false},
        {"409", 409, std::nullopt, false},
        {"408", 408, std::nullopt, true},
        {"429", 429, std::nullopt, true},
        {"500", 500, std::nullopt, true},
        {"501", 501, std::nullopt, false},
        {"502", 502, std::nullopt, true},
        {"503", 503, std::nullopt, true},
        {"504", 504, std::nullopt, true},
        {"505", 505, std::nullopt, false},
        {"refused", 0, connectionFailure(CURLE_COULDNT_CONNECT), true},
        {"reset while sending", 0, connectionFailure(CURLE_SEND_ERROR), true},
        {"reset while reading", 0, connectionFailure(CURLE_RECV_ERROR), true},
        {"closed without a word", 0, connectionFailure(CURLE_GOT_NOTHING), true},
        {"answer cut short", 0, connectionFailure(CURLE_PARTIAL_FILE), true},
        {"timed out", 0, requestError(kRequestTimedOutErrorType), true},
        {"certificate refused", 0, connectionFailure(CURLE_PEER_FAILED_VERIFICATION), false},
        {"TLS handshake failed", 0, connectionFailure(CURLE_SSL_CONNECT_ERROR), false},
        {"no such host", 0, connectionFailure(CURLE_COULDNT_RESOLVE_HOST), false},
        {"connection failure without curl's reason", 0, requestError(kConnectionFailureErrorType), false},
        {"cancelled", 0, requestError(kRequestCancelledErrorType), false},
        {"answer framed two ways", 0, requestError(kAmbiguousResponseErrorType), false},
        {"a 503 read before the cancel", 503, requestError(kRequestCancelledErrorType), false},
        {"another domain", 0, Error::make("ZipArchiveErrorDomain", 1, "zip"), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(RetryPolicy::isTransient(c.status, c.error), c.transient);
    }
}

TEST(RetryPolicyTest, WaitsDoubleFromASecondStretchedByTheJitterAndHonourAShortRetryAfter) {
    const auto now = std::chrono::sys_days(std::chrono::year(2015) / 10 / 21) + 7h + 27min + 30s;
    struct Case {
        const char* name;
        int retries;
        double jitter;
        int failedAttempt;
        int status;
        std::optional<Error> error;
        std::optional<std::string> retryAfter;
        std::optional<Retry> next;
    };
    const Case cases[] = {
        {"first retry", 4, 0.0, 1, 503, std::nullopt, std::nullopt, Retry{2, 5, 1000ms}},
        {"second", 4, 0.0, 2, 503, std::nullopt, std::nullopt, Retry{3, 5, 2000ms}},
        {"third", 4, 0.0, 3, 503, std::nullopt, std::nullopt, Retry{4, 5, 4000ms}},
        {"fourth", 4, 0.0, 4, 503, std::nullopt, std::nullopt, Retry{5, 5, 8000ms}},
        {"spent", 4, 0.0, 5, 503, std::nullopt, std::nullopt, std::nullopt},
        {"no retries", 0, 0.0, 1, 503, std::nullopt, std::nullopt, std::nullopt},
        {"half the jitter", 4, 0.5, 3, 503, std::nullopt, std::nullopt, Retry{4, 5, 4500ms}},
        {"all the jitter", 4, 0.999, 1, 503, std::nullopt, std::nullopt, Retry{2, 5, 1249ms}},
        {"final failure", 4, 0.0, 1, 404, std::nullopt, std::nullopt, std::nullopt},
        {"lost connection", 2, 0.0, 1, 0, connectionFailure(CURLE_RECV_ERROR), std::nullopt, Retry{2, 3, 1000ms}},
        {"Retry-After in seconds, longer", 4, 0.0, 1, 429, std::nullopt, "7", Retry{2, 5, 7000ms}},
        {"Retry-After in seconds, shorter", 4, 0.0, 3, 503, std::nullopt, "1", Retry{4, 5, 4000ms}},
        {"Retry-After at the bound", 4, 0.0, 1, 503, std::nullopt, "60", Retry{2, 5, 60000ms}},
        {"Retry-After past the bound", 4, 0.0, 1, 503, std::nullopt, "61", std::nullopt},
        {"Retry-After as a date", 4, 0.0, 1, 503, std::nullopt, "Wed, 21 Oct 2015 07:28:00 GMT", Retry{2, 5, 30000ms}},
        {"Retry-After as a date gone by", 4, 0.0, 1, 503, std::nullopt, "Wed, 21 Oct 2015 07:00:00 GMT",
         Retry{2, 5, 1000ms}},
        {"Retry-After that is neither", 4, 0.0, 1, 503, std::nullopt, "soon", Retry{2, 5, 1000ms}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto retryAfter = c.retryAfter ? std::optional<std::string_view>(*c.retryAfter) : std::nullopt;
        EXPECT_EQ(
            policyWithJitter(c.retries, c.jitter).nextAttempt(c.failedAttempt, c.status, c.error, retryAfter, now),
            c.next);
    }
}

TEST(RetryPolicyTest, RetryAfterIsSecondsOrAnHttpDate) {
    const auto now = std::chrono::sys_days(std::chrono::year(2015) / 10 / 21) + 7h + 27min + 30s;
    struct Case {
        const char* text;
        std::optional<std::chrono::seconds> wait;
    };
    const Case cases[] = {
        {"120", 120s},
        {" 7 ", 7s},
        {"0", 0s},
        {"-1", std::nullopt},
        {"1.5", std::nullopt},
        {"", std::nullopt},
        {"99999999999999999999999", std::chrono::seconds::max()},
        {"Wed, 21 Oct 2015 07:28:00 GMT", 30s},
        {"Wednesday, 21-Oct-15 07:28:00 GMT", 30s},
        {"Wed Oct 21 07:28:00 2015", 30s},
        {"Tue, 20 Oct 2015 07:28:00 GMT", 0s},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(RetryPolicy::parseRetryAfter(c.text, now), c.wait);
    }
}

// The client's own reports, not errors written out by hand: a connection refused and an answer
// that asks to come back.
using RetryPolicyRequestTest = test::RequestFixture;

TEST_F(RetryPolicyRequestTest, TheClientsRefusedConnectionAndAnAnswersRetryAfterAreTakenAsTheyCome) {
    server.setHandler([](const auto& request) {
        return request.target == "/busy" ? test::ScriptedResponse::text(503, "busy", {{"Retry-After", "5"}})
                                         : test::ScriptedResponse::text(403, "no");
    });
    std::string closedURL;
    {
        test::ScriptedHTTPServer gone;
        closedURL = gone.url("/nobody");
    }
    struct Case {
        const char* name;
        std::string url;
        std::optional<Retry> next;
    };
    const Case cases[] = {
        {"refused", closedURL, Retry{2, 3, 1000ms}},
        {"503 with Retry-After", server.url("/busy"), Retry{2, 3, 5000ms}},
        {"403", server.url("/refused"), std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto request = HTTPRequest::requestWithURL(URL(c.url));
        run(request);
        EXPECT_EQ(policyWithJitter(2, 0.0).nextAttempt(1, *request), c.next);
    }
}

}  // namespace
}  // namespace tomely
