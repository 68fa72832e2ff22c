#include "shelf/ShelfClient.h"

#include "http/FormDataRequest.h"
#include "http/RetriedCall.h"
#include "http/ServiceAPI.h"
#include "json/JSONDeserializer.h"
#include "platform/SecretText.h"

namespace tomely {
namespace {

// The body of an answer as text, inflated when it came compressed: the request's own bytes, read
// while it reports.
std::string_view answerText(const HTTPRequest& request) {
    const std::vector<std::uint8_t>& body = request.responseData();
    return {reinterpret_cast<const char*>(body.data()), body.size()};
}

// Starts the call, a new request from `makeRequest` for each attempt: the last attempt's answer,
// of any status, goes through `decode`, no answer becomes a CallFailure, and either reaches
// `answered`, once. Failures that may pass are ridden out as `retries` says.
template <class Result>
ShelfCall start(RetriedCall::MakeRequest makeRequest, Result (*decode)(const HTTPRequest&),
                std::function<void(Result)> answered, CallRetries retries) {
    auto call = RetriedCall::create(std::move(makeRequest), std::move(retries.policy));
    auto report = std::make_shared<std::function<void(Result)>>(std::move(answered));
    call->setAnsweredBlock([decode, report](HTTPRequest& request) { (*report)(decode(request)); });
    call->setFailedBlock([report](HTTPRequest& request) { (*report)(CallFailure::of(request)); });
    if (retries.retrying) {
        call->setRetryBlock(
            [retrying = std::move(retries.retrying)](HTTPRequest& request, const RetryPolicy::Retry& retry) {
                retrying(CallFailure::of(request), retry);
            });
    }
    call->start();
    return ShelfCall(call);
}

SignInResult signInAnswer(const HTTPRequest& request) {
    const int status = request.responseStatusCode();
    if (ServiceAPI::isSuccessStatus(status)) {
        return SignedIn{};
    }
    if (status == 403) {
        return CredentialsRefused{};
    }
    return CallFailure::of(request);
}

BookListResult bookListAnswer(const HTTPRequest& request) {
    if (!ServiceAPI::isSuccessStatus(request.responseStatusCode())) {
        return CallFailure::of(request);
    }
    return decodeExistingBooks(answerText(request));
}

ManifestResult manifestAnswer(const HTTPRequest& request) {
    if (!ServiceAPI::isSuccessStatus(request.responseStatusCode())) {
        return CallFailure::of(request);
    }
    return JSONAnswer{JSONDeserializer::deserializer().deserialize(answerText(request)), request.responseStatusCode(),
                      request.url().absoluteString()};
}

}  // namespace

void ShelfCall::cancel() const {
    if (const std::shared_ptr<RetriedCall> call = call_.lock()) {
        call->cancel();
    }
}

ShelfCall ShelfClient::signIn(std::string_view email, std::string_view password,
                              std::function<void(SignInResult)> answered, CallRetries retries) const {
    // Kept for the attempts until the call ends, then overwritten with the call's last copy.
    auto secret = std::make_shared<SecretText>(std::string(password));
    return start(
        [email = std::string(email), secret]() -> std::shared_ptr<HTTPRequest> {
            auto request = FormDataRequest::requestWithURL(ServiceAPI::authenticationURL());
            request->addPostValue(email, "email");
            request->addPostValue(secret->text(), "password");
            request->setBodyHoldsSecret();
            request->setCarriesCredentials(true);
            return request;
        },
        &signInAnswer, std::move(answered), std::move(retries));
}

ShelfCall ShelfClient::listBooks(std::function<void(BookListResult)> answered, CallRetries retries) const {
    return start(
        []() {
            auto request = HTTPRequest::requestWithURL(ServiceAPI::bookListURL());
            request->setMaxResponseBodyBytes(ServiceAPI::kMaxBookListBytes);
            return request;
        },
        &bookListAnswer, std::move(answered), std::move(retries));
}

ShelfCall ShelfClient::postManifest(std::string_view bookGuid, const std::string& manifestText,
                                    std::function<void(ManifestResult)> answered, CallRetries retries) const {
    return start(
        [url = ServiceAPI::manifestURL(bookGuid), manifestText]() -> std::shared_ptr<HTTPRequest> {
            auto request = FormDataRequest::requestWithURL(url);
            request->setPostBody(std::vector<std::uint8_t>(manifestText.begin(), manifestText.end()));
            request->setTimeOutSeconds(kManifestTimeOutSeconds);
            request->setMaxResponseBodyBytes(ServiceAPI::kMaxManifestAnswerBytes);
            return request;
        },
        &manifestAnswer, std::move(answered), std::move(retries));
}

}  // namespace tomely
