// The exchange on the network thread: headers, the transfer, the response and its end.
#include <cxxabi.h>

#include <cstdlib>
#include <memory>
#include <typeinfo>

#include "http/HTTPCookieStorage.h"
#include "http/HTTPRequest.h"
#include "http/HTTPRequestError.h"
#include "http/UserAgent.h"

namespace tomely {
namespace {

constexpr std::string_view kSSLProblemSuffix =
    ": SSL problem (Possible causes may include a bad/expired/self-signed certificate, clock set to wrong date)";

bool isTLSFailure(CURLcode result) {
    switch (result) {
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_SSL_ENGINE_NOTFOUND:
        case CURLE_SSL_ENGINE_SETFAILED:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_USE_SSL_FAILED:
        case CURLE_SSL_ENGINE_INITFAILED:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_SHUTDOWN_FAILED:
        case CURLE_SSL_CRL_BADFILE:
        case CURLE_SSL_ISSUER_ERROR:
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        case CURLE_SSL_INVALIDCERTSTATUS:
        case CURLE_SSL_CLIENTCERT:
            return true;
        default:
            return false;
    }
}

// The connection went away under the exchange: the peer closed or reset it before or while
// answering. Worth one more try on a new connection.
bool isLostConnection(CURLcode result) {
    return result == CURLE_GOT_NOTHING || result == CURLE_SEND_ERROR || result == CURLE_RECV_ERROR ||
           result == CURLE_PARTIAL_FILE;
}

bool isHeaderSafe(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

std::string demangled(const char* name) {
    int status = 0;
    std::unique_ptr<char, decltype(&std::free)> readable(abi::__cxa_demangle(name, nullptr, nullptr, &status),
                                                         &std::free);
    return status == 0 && readable ? std::string(readable.get()) : std::string(name);
}

Error exceptionError(const std::exception& exception) {
    Error error = httpRequestError(kUnhandledExceptionError, demangled(typeid(exception).name()));
    error.userInfo.emplace(kLocalizedFailureReasonKey, exception.what());
    Error underlying;
    underlying.domain = std::string(kNetworkRequestErrorDomain);
    underlying.code = kUnhandledExceptionError;
    error.underlyingError = std::make_shared<const Error>(std::move(underlying));
    return error;
}

}  // namespace

void HTTPRequest::main() {
    std::scoped_lock lock(cancelledLock_);
    if (error_) {
        // Cancelled (or failed) before it ran: finish quietly, the outcome is already out.
        complete_ = true;
        markAsFinished();
        return;
    }
    complete_ = false;
    if (!url_.isValid() || (url_.scheme() != "http" && url_.scheme() != "https")) {
        failWithError(unableToCreateRequestError());
        return;
    }
    try {
        buildPostBody();
        if (error_) {
            return;
        }
        buildRequestHeaders();
        for (const auto& [name, value] : requestHeaders_) {
            // A line break in a header would let a value smuggle in headers of its own.
            if (name.empty() || !isHeaderSafe(name) || !isHeaderSafe(value)) {
                failWithError(unableToCreateRequestError());
                return;
            }
        }
        startRequest();
    } catch (const std::exception& exception) {
        failWithError(exceptionError(exception));
    }
}

void HTTPRequest::buildRequestHeaders() {
    if (haveBuiltRequestHeaders_) {
        return;
    }
    haveBuiltRequestHeaders_ = true;
    if (useCookiePersistence_) {
        auto stored = HTTPCookieStorage::sharedHTTPCookieStorage().cookiesForURL(url_);
        requestCookies_.insert(requestCookies_.end(), stored.begin(), stored.end());
    }
    if (!requestCookies_.empty()) {
        addRequestHeader("Cookie", HTTPCookieStorage::cookieHeaderValue(requestCookies_));
    }
    if (!requestHeaders_.contains("User-Agent")) {
        std::optional<std::string> agent = userAgent_.empty() ? defaultUserAgentString() : userAgent_;
        if (agent) {
            addRequestHeader("User-Agent", *agent);
        }
    }
    if (allowCompressedResponse_) {
        addRequestHeader("Accept-Encoding", "gzip");
    }
    if (shouldCompressRequestBody_) {
        addRequestHeader("Content-Encoding", "gzip");
    }
}

void HTTPRequest::startRequest() {
    if (cancelled_) {
        return;
    }
    if (!error_) {
        deliver(Report::Started);
    }
    downloadComplete_ = false;
    complete_ = false;
    totalBytesRead_ = 0;
    if (!originalURL_.isValid()) {
        originalURL_ = url_;
    }
    lastBytesRead_ = 0;
    // What an earlier attempt reported as sent is withdrawn: the body goes out again.
    withdrawUploadProgress();
    lastBytesSent_ = 0;
    totalBytesSent_ = 0;
    bytesNotYetTaken_.reset();
    contentLength_ = 0;
    responseHeadRead_ = false;
    headParser_.reset();
    responseHeaders_.clear();
    responseStatusCode_ = 0;
    responseStatusMessage_.clear();
    authenticationNeeded_ = 0;
    responseBody_.reset(false, maxResponseBodyBytes_);
    responseBytesReceived_ = 0;
    abortedWith_.reset();
    lowSpeedWatch_ = LowSpeedWatch(lowSpeedBytesPerSecond_, lowSpeedSeconds_);

    CurlTransfer::Settings settings;
    settings.url = url_;
    settings.method = requestMethod_;
    settings.headers = requestHeaders_;
    for (const BodyPiece& piece : postBodyPieces_) {
        settings.bodyPieces.push_back(
            {piece.bytes, piece.filePath, piece.filePath.empty() ? piece.bytes.size() : piece.fileLength});
    }
    if (!postBodyFilePath_.empty()) {
        settings.bodyFilePath = compressedPostBodyFilePath_.empty() ? postBodyFilePath_ : compressedPostBodyFilePath_;
    } else {
        settings.bodyBytes = shouldCompressRequestBody_ ? std::span<const std::uint8_t>(compressedPostBody_)
                                                        : std::span<const std::uint8_t>(postBody_);
    }
    settings.bodyLength = postLength_;
    settings.useHTTPVersionOne = useHTTPVersionOne_;
    settings.validatesSecureCertificate = validatesSecureCertificate_;
    settings.maxSendBytesPerSecond = maxSendBytesPerSecond_;
    applyConnectionPolicy(settings);
    Error failure;
    transfer_ = CurlTransfer::create(settings, *this, &failure);
    if (!transfer_) {
        failWithError(failure);
        return;
    }
    // Aliasing: the thread keeps the whole request alive through its private Client side.
    std::shared_ptr<NetworkThread::Client> client(shared_from_this(), static_cast<NetworkThread::Client*>(this));
    if (!NetworkThread::shared().addTransfer(transfer_->easy(), std::move(client))) {
        transfer_.reset();
        connectionCanBeReused_ = false;
        failWithError(httpRequestError(kInternalErrorWhileBuildingRequestType, "Unable to start HTTP connection"));
        return;
    }
    if (shouldResetUploadProgress_) {
        // Registered once: a repeated or redirected exchange is still the same request.
        shouldResetUploadProgress_ = false;
        deliverProgress(Progress::Registered, showAccurateProgress_ ? static_cast<std::int64_t>(postLength_) : 1);
    }
    startStatusTimer();
}

bool HTTPRequest::transferDidReceiveHeaderLine(std::string_view line) {
    std::scoped_lock lock(cancelledLock_);
    if (complete_ || cancelled_) {
        return false;
    }
    lastActivityTime_ = std::chrono::steady_clock::now();
    responseBytesReceived_ += line.size();
    if (!headParser_.addLine(line)) {
        return false;
    }
    if (headParser_.isComplete() && !responseHeadRead_) {
        readResponseHead(headParser_.head());
    }
    return !abortedWith_;
}

void HTTPRequest::readResponseHead(const ResponseHead& head) {
    responseHeadRead_ = true;
    responseHeaders_ = head.headers;
    responseStatusCode_ = head.statusCode;
    responseStatusMessage_ = head.statusLine;
    if (responseStatusCode_ == 401) {
        authenticationNeeded_ = 1;
    } else if (responseStatusCode_ == 407) {
        authenticationNeeded_ = 2;
    }
    responseEncoding_ = responseEncodingFor(responseHeaders_, defaultResponseEncoding_);
    responseCookies_ = HTTPCookieStorage::cookiesWithResponseHeaderFields(head.setCookieFields, url_);
    if (useCookiePersistence_) {
        HTTPCookieStorage::sharedHTTPCookieStorage().setCookies(responseCookies_, url_);
    }
    decideRedirect(head);
    if (!needsRedirect_) {
        const auto length = responseHeaders_.find("Content-Length");
        if (length != responseHeaders_.end()) {
            // The head was refused unless its length is one decimal number.
            contentLength_ = parseContentLength(length->second).value_or(0);
        }
        responseBody_.reset(isResponseCompressed(), maxResponseBodyBytes_,
                            length != responseHeaders_.end() ? std::optional(contentLength_) : std::nullopt);
        if (showAccurateProgress_ && shouldResetDownloadProgress_) {
            // Without a length the download counts as one unit; the upload stays counted in bytes,
            // since what the answer lacks says nothing about the body that went out.
            downloadCountsAsUnit_ = length == responseHeaders_.end();
            deliverProgress(Progress::DownloadSize,
                            downloadCountsAsUnit_ ? 1 : static_cast<std::int64_t>(contentLength_));
        }
    }
    decideConnectionReuse(head);
    deliver(Report::Headers, responseHeaders_);
}

bool HTTPRequest::transferDidReceiveBodyBytes(std::span<const std::uint8_t> bytes) {
    std::scoped_lock lock(cancelledLock_);
    if (complete_ || cancelled_) {
        return false;
    }
    totalBytesRead_ += bytes.size();
    responseBytesReceived_ += bytes.size();
    lastActivityTime_ = std::chrono::steady_clock::now();
    // The body of a redirect is read to its end and dropped.
    if (needsRedirect_) {
        return true;
    }
    Error refused;
    if (!responseBody_.append(bytes, &refused)) {
        abortedWith_ = std::move(refused);
        return false;
    }
    return true;
}

void HTTPRequest::transferDidEnd(CURL* easy, CURLcode result) {
    std::scoped_lock lock(cancelledLock_);
    if (!transfer_ || transfer_->easy() != easy) {
        return;
    }
    if (result == CURLE_OK && responseHeadRead_) {
        handleEndOfResponse();
    } else {
        handleTransportFailure(result == CURLE_OK ? CURLE_WEIRD_SERVER_REPLY : result);
    }
}

void HTTPRequest::handleEndOfResponse() {
    stopStatusTimer();
    downloadComplete_ = true;
    if (postLength_ > 0) {
        lastBytesSent_ = totalBytesSent_;
        totalBytesSent_ = transfer_->bodyBytesSent();
    }
    complete_ = true;
    if (contentLength_ == 0) {
        contentLength_ = totalBytesRead_;
    }
    if (!needsRedirect_) {
        updateProgress();
    }
    transfer_.reset();
    releaseConnection();
    if (needsRedirect_) {
        // The body files stay: a redirect that keeps the method sends them again. Whether the
        // delegate or the queue takes it is theirs to answer, so they are asked once the lock is
        // let go (still on this thread, before anything else can happen to the request).
        cancelledLock_.callOutAfterUnlock([self = shared_from_this(), delegate = delegate_.lock(), queue = queue_] {
            self->continueRedirect((delegate && delegate->takesRedirects()) || (queue && queue->takesRedirects()));
        });
        return;
    }
    if (authenticationNeeded_ != 0) {
        // No credentials exist to answer a challenge; whether one could have been answered
        // decides between "no credentials" and "no usable challenge".
        const auto challenge =
            responseHeaders_.find(authenticationNeeded_ == 1 ? "WWW-Authenticate" : "Proxy-Authenticate");
        if (challenge == responseHeaders_.end() || !isUsableAuthenticationChallenge(challenge->second)) {
            failWithError(httpRequestError(kInternalErrorWhileApplyingCredentialsType,
                                           "Failed to get authentication object from response headers"));
        } else {
            failWithError(authenticationError());
        }
        return;
    }
    // A compressed body that stops inside its stream was cut short, whatever its framing said.
    Error cutShort;
    if (!responseBody_.finish(&cutShort)) {
        failWithError(cutShort);
        return;
    }
    removeTemporaryFiles();
    // Finished before the report is posted, so that the handlers see a finished request.
    markAsFinished();
    if (!error_) {
        deliver(Report::Finished);
    }
}

void HTTPRequest::handleTransportFailure(CURLcode result) {
    const std::string detail = transfer_->failureDetail(result);
    const long osErrno = transfer_->osErrno();
    const bool staleConnection = transfer_->refusedStaleConnection();
    transfer_.reset();
    stopStatusTimer();
    connectionCanBeReused_ = false;
    releaseConnection();
    if (error_) {
        return;
    }
    if (abortedWith_) {
        failWithError(*abortedWith_);
        return;
    }
    if (staleConnection) {
        // Nothing was sent on it: the same exchange, on a connection of its own.
        needsFreshConnection_ = true;
        startRequest();
        return;
    }
    if (!headParser_.ambiguity().empty()) {
        failWithError(
            httpRequestError(kAmbiguousResponseErrorType,
                             "The response was refused because its framing is ambiguous: " + headParser_.ambiguity()));
        return;
    }
    if (isLostConnection(result) && retryCount_ == 0) {
        retryCount_ = 1;
        startRequest();
        return;
    }
    if (result == CURLE_OPERATION_TIMEDOUT) {
        failWithError(requestTimedOutError());
        return;
    }
    std::string message = "A connection failure occurred";
    if (isTLSFailure(result)) {
        message += kSSLProblemSuffix;
    }
    Error error = httpRequestError(kConnectionFailureErrorType, std::move(message));
    Error underlying = Error::make(std::string(kCurlErrorDomain), result, detail);
    if (osErrno != 0) {
        underlying.userInfo.emplace(kOSErrnoKey, std::to_string(osErrno));
    }
    error.underlyingError = std::make_shared<const Error>(std::move(underlying));
    failWithError(error);
}

void HTTPRequest::cancelOnNetworkThread() {
    std::scoped_lock lock(cancelledLock_);
    if (cancelled_ || complete_) {
        return;
    }
    failWithError(requestCancelledError());
    complete_ = true;
    cancelLoad();
    cancelled_ = true;
}

void HTTPRequest::cancelLoad() {
    stopStatusTimer();
    if (transfer_) {
        NetworkThread::shared().removeTransfer(transfer_->easy());
        transfer_.reset();
    }
    removeTemporaryFiles();
}

}  // namespace tomely
