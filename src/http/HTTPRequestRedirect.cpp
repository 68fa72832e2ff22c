// Following 301, 302, 303 and 307 answers.
#include "http/HTTPCookieStorage.h"
#include "http/HTTPRequest.h"
#include "http/HTTPRequestError.h"

namespace tomely {
namespace {

constexpr int kMaximumRedirects = 5;

bool isRedirectStatus(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307;
}

}  // namespace

bool HTTPRequest::shouldRedirect() const {
    std::scoped_lock lock(cancelledLock_);
    return shouldRedirect_;
}

void HTTPRequest::setShouldRedirect(bool redirect) {
    std::scoped_lock lock(cancelledLock_);
    shouldRedirect_ = redirect;
}

bool HTTPRequest::shouldUseRFC2616RedirectBehaviour() const {
    std::scoped_lock lock(cancelledLock_);
    return shouldUseRFC2616RedirectBehaviour_;
}

void HTTPRequest::setShouldUseRFC2616RedirectBehaviour(bool use) {
    std::scoped_lock lock(cancelledLock_);
    shouldUseRFC2616RedirectBehaviour_ = use;
}

bool HTTPRequest::carriesCredentials() const {
    std::scoped_lock lock(cancelledLock_);
    return carriesCredentials_;
}

void HTTPRequest::setCarriesCredentials(bool carries) {
    std::scoped_lock lock(cancelledLock_);
    carriesCredentials_ = carries;
}

int HTTPRequest::redirectCount() const {
    std::scoped_lock lock(cancelledLock_);
    return redirectCount_;
}

void HTTPRequest::decideRedirect(const ResponseHead& head) {
    const auto location = head.headers.find("Location");
    // An empty Location names no other place: followed, it would lead back here until the limit.
    if (!shouldRedirect_ || location == head.headers.end() || location->second.empty() ||
        !isRedirectStatus(head.statusCode)) {
        return;
    }
    const URL target = url_.resolve(location->second);
    if (auto refusal = redirectRefusal(target)) {
        // Refused before anything else of the answer is read; reported once the transport stops.
        abortedWith_ = std::move(refusal);
        return;
    }
    deliver(Report::Redirected);
    const int status = head.statusCode;
    redirectDropsBody_ = status == 303 || ((status == 301 || status == 302) && !shouldUseRFC2616RedirectBehaviour_);
    redirectURL_ = target;
    needsRedirect_ = true;
    requestCookies_.clear();
}

std::optional<Error> HTTPRequest::redirectRefusal(const URL& target) const {
    if (url_.scheme() == "https" && target.scheme() == "http") {
        return insecureRedirectError();
    }
    const bool sameServer =
        target.scheme() == url_.scheme() && target.host() == url_.host() && target.port() == url_.port();
    if (carriesCredentials_ && !sameServer) {
        return credentialsRedirectError();
    }
    return std::nullopt;
}

void HTTPRequest::continueRedirect(bool takenByReceiver) {
    std::scoped_lock lock(cancelledLock_);
    if (!needsRedirect_ || cancelled_ || error_) {
        return;
    }
    if (takenByReceiver) {
        // Still cancellable while whoever took the redirect decides.
        complete_ = false;
        deliver(Report::WillRedirect);
    } else {
        performRedirect();
    }
}

void HTTPRequest::redirectToURL(const URL& url) {
    NetworkThread::shared().post([self = shared_from_this(), url] {
        std::scoped_lock lock(self->cancelledLock_);
        if (!self->needsRedirect_ || self->cancelled_ || self->error_) {
            return;
        }
        self->redirectURL_ = url;
        self->performRedirect();
    });
}

void HTTPRequest::performRedirect() {
    // Whoever took the redirect may have named another URL than the answer did.
    if (auto refusal = redirectRefusal(redirectURL_)) {
        needsRedirect_ = false;
        failWithError(*refusal);
        return;
    }
    url_ = redirectURL_;
    complete_ = true;
    needsRedirect_ = false;
    ++redirectCount_;
    if (redirectCount_ > kMaximumRedirects) {
        failWithError(tooMuchRedirectionError());
        return;
    }
    if (redirectDropsBody_) {
        redirectDropsBody_ = false;
        removeTemporaryFiles();
        postBody_.clear();
        postBodyPieces_.clear();
        compressedPostBody_.clear();
        postBodyFilePath_.clear();
        postLength_ = 0;
        requestMethod_ = "GET";
        HTTPHeaders kept;
        for (const char* name : {"User-Agent", "Accept"}) {
            if (const auto header = requestHeaders_.find(name); header != requestHeaders_.end()) {
                kept.insert(*header);
            }
        }
        requestHeaders_ = std::move(kept);
        haveBuiltRequestHeaders_ = false;
    } else if (haveBuiltRequestHeaders_) {
        // The method and body stay, but the cookies are those of the new URL: the old site's
        // session must not travel to wherever it points.
        requestHeaders_.erase("Cookie");
        if (useCookiePersistence_) {
            requestCookies_ = HTTPCookieStorage::sharedHTTPCookieStorage().cookiesForURL(url_);
        }
        if (!requestCookies_.empty()) {
            addRequestHeader("Cookie", HTTPCookieStorage::cookieHeaderValue(requestCookies_));
        }
    }
    main();
}

}  // namespace tomely
