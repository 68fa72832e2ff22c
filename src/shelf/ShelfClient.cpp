#include "shelf/ShelfClient.h"

#include "http/FormDataRequest.h"
#include "http/ServiceAPI.h"
#include "json/JSONDeserializer.h"

namespace tomely {
namespace {

// The body of an answer as text, inflated when it came compressed: the request's own bytes, read
// while it reports.
std::string_view answerText(const HTTPRequest& request) {
    const std::vector<std::uint8_t>& body = request.responseData();
    return {reinterpret_cast<const char*>(body.data()), body.size()};
}

// Starts `request`: an answer of any status goes through `decode`, no answer becomes a
// CallFailure, and either reaches `answered`. The request reports one outcome, once.
template <class Result>
ShelfCall start(const std::shared_ptr<HTTPRequest>& request, Result (*decode)(const HTTPRequest&),
                std::function<void(Result)> answered) {
    HTTPRequest& sent = *request;
    auto report = std::make_shared<std::function<void(Result)>>(std::move(answered));
    request->setCompletionBlock([&sent, decode, report] { (*report)(decode(sent)); });
    request->setFailedBlock([&sent, report] { (*report)(CallFailure::of(sent)); });
    request->startAsynchronous();
    return ShelfCall(request);
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
    if (const std::shared_ptr<HTTPRequest> request = request_.lock()) {
        request->cancel();
    }
}

ShelfCall ShelfClient::signIn(std::string_view email, std::string_view password,
                              std::function<void(SignInResult)> answered) const {
    auto request = FormDataRequest::requestWithURL(ServiceAPI::authenticationURL());
    request->addPostValue(email, "email");
    request->addPostValue(password, "password");
    request->setBodyHoldsSecret();
    request->setCarriesCredentials(true);
    return start(std::shared_ptr<HTTPRequest>(request), &signInAnswer, std::move(answered));
}

ShelfCall ShelfClient::listBooks(std::function<void(BookListResult)> answered) const {
    auto request = HTTPRequest::requestWithURL(ServiceAPI::bookListURL());
    request->setMaxResponseBodyBytes(ServiceAPI::kMaxBookListBytes);
    return start(request, &bookListAnswer, std::move(answered));
}

ShelfCall ShelfClient::postManifest(std::string_view bookGuid, const std::string& manifestText,
                                    std::function<void(ManifestResult)> answered) const {
    auto request = FormDataRequest::requestWithURL(ServiceAPI::manifestURL(bookGuid));
    request->setPostBody(std::vector<std::uint8_t>(manifestText.begin(), manifestText.end()));
    request->setTimeOutSeconds(kManifestTimeOutSeconds);
    request->setMaxResponseBodyBytes(ServiceAPI::kMaxManifestAnswerBytes);
    return start(std::shared_ptr<HTTPRequest>(request), &manifestAnswer, std::move(answered));
}

}  // namespace tomely
