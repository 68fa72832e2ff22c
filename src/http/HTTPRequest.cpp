#include "http/HTTPRequest.h"

#include <cctype>
#include <tuple>
#include <utility>

#include "http/HTTPRequestError.h"
#include "platform/MainLoop.h"
#include "platform/TextEncoding.h"

namespace tomely {

std::shared_ptr<HTTPRequest> HTTPRequest::requestWithURL(const URL& url) {
    return std::shared_ptr<HTTPRequest>(new HTTPRequest(url));
}

HTTPRequest::HTTPRequest(const URL& url)
    : url_(url), defaultResponseEncoding_(kISOLatin1Encoding), timeOutSeconds_(defaultTimeOutSeconds()) {}

HTTPRequest::~HTTPRequest() {
    removeTemporaryFiles();
}

std::shared_ptr<OperationQueue> HTTPRequest::sharedQueue() {
    static const std::shared_ptr<OperationQueue> queue = OperationQueue::create(4);
    return queue;
}

// --- Configuration ------------------------------------------------------------------------

URL HTTPRequest::url() const {
    std::scoped_lock lock(cancelledLock_);
    return url_;
}

void HTTPRequest::setURL(const URL& url) {
    std::scoped_lock lock(cancelledLock_);
    url_ = url;
}

URL HTTPRequest::originalURL() const {
    std::scoped_lock lock(cancelledLock_);
    return originalURL_;
}

std::string HTTPRequest::requestMethod() const {
    std::scoped_lock lock(cancelledLock_);
    return requestMethod_;
}

void HTTPRequest::setRequestMethod(std::string method) {
    std::scoped_lock lock(cancelledLock_);
    requestMethod_ = std::move(method);
    if (requestMethod_ == "POST" || requestMethod_ == "PUT" || !postBody_.empty() || !postBodyFilePath_.empty() ||
        !postBodyPieces_.empty()) {
        shouldAttemptPersistentConnection_ = false;
    }
}

void HTTPRequest::addRequestHeader(const std::string& name, std::string value) {
    std::scoped_lock lock(cancelledLock_);
    // Erased first so that the new spelling of the name is the one sent.
    requestHeaders_.erase(name);
    requestHeaders_.emplace(name, std::move(value));
}

HTTPHeaders HTTPRequest::requestHeaders() const {
    std::scoped_lock lock(cancelledLock_);
    return requestHeaders_;
}

std::vector<std::uint8_t> HTTPRequest::postBody() const {
    std::scoped_lock lock(cancelledLock_);
    return postBody_;
}

std::string HTTPRequest::postBodyFilePath() const {
    std::scoped_lock lock(cancelledLock_);
    return postBodyFilePath_;
}

std::uint64_t HTTPRequest::postLength() const {
    std::scoped_lock lock(cancelledLock_);
    return postLength_;
}

bool HTTPRequest::shouldStreamPostDataFromDisk() const {
    std::scoped_lock lock(cancelledLock_);
    return shouldStreamPostDataFromDisk_;
}

void HTTPRequest::setShouldStreamPostDataFromDisk(bool stream) {
    std::scoped_lock lock(cancelledLock_);
    shouldStreamPostDataFromDisk_ = stream;
}

bool HTTPRequest::shouldCompressRequestBody() const {
    std::scoped_lock lock(cancelledLock_);
    return shouldCompressRequestBody_;
}

void HTTPRequest::setShouldCompressRequestBody(bool compress) {
    std::scoped_lock lock(cancelledLock_);
    shouldCompressRequestBody_ = compress;
}

bool HTTPRequest::allowCompressedResponse() const {
    std::scoped_lock lock(cancelledLock_);
    return allowCompressedResponse_;
}

void HTTPRequest::setAllowCompressedResponse(bool allow) {
    std::scoped_lock lock(cancelledLock_);
    allowCompressedResponse_ = allow;
}

bool HTTPRequest::useCookiePersistence() const {
    std::scoped_lock lock(cancelledLock_);
    return useCookiePersistence_;
}

void HTTPRequest::setUseCookiePersistence(bool use) {
    std::scoped_lock lock(cancelledLock_);
    useCookiePersistence_ = use;
}

bool HTTPRequest::validatesSecureCertificate() const {
    std::scoped_lock lock(cancelledLock_);
    return validatesSecureCertificate_;
}

void HTTPRequest::setValidatesSecureCertificate(bool validates) {
    std::scoped_lock lock(cancelledLock_);
    validatesSecureCertificate_ = validates;
}

bool HTTPRequest::shouldAttemptPersistentConnection() const {
    std::scoped_lock lock(cancelledLock_);
    return shouldAttemptPersistentConnection_;
}

void HTTPRequest::setShouldAttemptPersistentConnection(bool attempt) {
    std::scoped_lock lock(cancelledLock_);
    shouldAttemptPersistentConnection_ = attempt;
}

bool HTTPRequest::useHTTPVersionOne() const {
    std::scoped_lock lock(cancelledLock_);
    return useHTTPVersionOne_;
}

void HTTPRequest::setUseHTTPVersionOne(bool use) {
    std::scoped_lock lock(cancelledLock_);
    useHTTPVersionOne_ = use;
}

std::uint64_t HTTPRequest::maxSendBytesPerSecond() const {
    std::scoped_lock lock(cancelledLock_);
    return maxSendBytesPerSecond_;
}

void HTTPRequest::setMaxSendBytesPerSecond(std::uint64_t bytesPerSecond) {
    std::scoped_lock lock(cancelledLock_);
    maxSendBytesPerSecond_ = bytesPerSecond;
}

std::uint64_t HTTPRequest::maxResponseBodyBytes() const {
    std::scoped_lock lock(cancelledLock_);
    return maxResponseBodyBytes_;
}

void HTTPRequest::setMaxResponseBodyBytes(std::uint64_t bytes) {
    std::scoped_lock lock(cancelledLock_);
    maxResponseBodyBytes_ = bytes;
}

std::string HTTPRequest::userAgent() const {
    std::scoped_lock lock(cancelledLock_);
    return userAgent_;
}

void HTTPRequest::setUserAgent(std::string userAgent) {
    std::scoped_lock lock(cancelledLock_);
    userAgent_ = std::move(userAgent);
}

std::string HTTPRequest::defaultResponseEncoding() const {
    std::scoped_lock lock(cancelledLock_);
    return defaultResponseEncoding_;
}

void HTTPRequest::setDefaultResponseEncoding(std::string encoding) {
    std::scoped_lock lock(cancelledLock_);
    defaultResponseEncoding_ = std::move(encoding);
}

std::vector<HTTPCookie> HTTPRequest::requestCookies() const {
    std::scoped_lock lock(cancelledLock_);
    return requestCookies_;
}

void HTTPRequest::setRequestCookies(std::vector<HTTPCookie> cookies) {
    std::scoped_lock lock(cancelledLock_);
    requestCookies_ = std::move(cookies);
}

void HTTPRequest::setDelegate(std::weak_ptr<HTTPRequestDelegate> delegate) {
    std::scoped_lock lock(cancelledLock_);
    delegate_ = std::move(delegate);
}

std::shared_ptr<HTTPRequestQueue> HTTPRequest::queue() const {
    std::scoped_lock lock(cancelledLock_);
    return queue_;
}

void HTTPRequest::setQueue(std::shared_ptr<HTTPRequestQueue> queue) {
    std::scoped_lock lock(cancelledLock_);
    // The queue replaced goes with the argument, once the lock is let go.
    std::swap(queue_, queue);
}

void HTTPRequest::setCompletionBlock(Block block) {
    std::scoped_lock lock(cancelledLock_);
    completionBlock_ = std::move(block);
}

void HTTPRequest::setFailedBlock(Block block) {
    std::scoped_lock lock(cancelledLock_);
    failureBlock_ = std::move(block);
}

void HTTPRequest::setStartedBlock(Block block) {
    std::scoped_lock lock(cancelledLock_);
    startedBlock_ = std::move(block);
}

void HTTPRequest::setHeadersReceivedBlock(HeadersBlock block) {
    std::scoped_lock lock(cancelledLock_);
    headersReceivedBlock_ = std::move(block);
}

void HTTPRequest::setBytesSentBlock(BytesSentBlock block) {
    std::scoped_lock lock(cancelledLock_);
    bytesSentBlock_ = std::move(block);
}

void HTTPRequest::setRequestRedirectedBlock(Block block) {
    std::scoped_lock lock(cancelledLock_);
    requestRedirectedBlock_ = std::move(block);
}

std::map<std::string, std::string> HTTPRequest::userInfo() const {
    std::scoped_lock lock(cancelledLock_);
    return userInfo_;
}

void HTTPRequest::setUserInfo(std::map<std::string, std::string> userInfo) {
    std::scoped_lock lock(cancelledLock_);
    userInfo_ = std::move(userInfo);
}

long HTTPRequest::tag() const {
    std::scoped_lock lock(cancelledLock_);
    return tag_;
}

void HTTPRequest::setTag(long tag) {
    std::scoped_lock lock(cancelledLock_);
    tag_ = tag;
}

// --- Running ------------------------------------------------------------------------------

void HTTPRequest::startAsynchronous() {
    sharedQueue()->addOperation(shared_from_this());
}

void HTTPRequest::start() {
    {
        std::scoped_lock lock(cancelledLock_);
        if (inProgress_ || finished_) {
            return;
        }
        inProgress_ = true;
    }
    NetworkThread::shared().post([self = shared_from_this()] { self->main(); });
}

void HTTPRequest::cancel() {
    NetworkThread::shared().post([self = shared_from_this()] { self->cancelOnNetworkThread(); });
}

void HTTPRequest::clearDelegatesAndCancel() {
    auto blocks = std::make_shared<std::tuple<Block, Block, Block, HeadersBlock, BytesSentBlock, Block>>();
    std::shared_ptr<HTTPRequestQueue> queue;
    {
        std::scoped_lock lock(cancelledLock_);
        delegate_.reset();
        queue = std::move(queue_);
        uploadProgressDelegate_.reset();
        downloadProgressDelegate_.reset();
        *blocks = std::make_tuple(std::move(completionBlock_), std::move(failureBlock_), std::move(startedBlock_),
                                  std::move(headersReceivedBlock_), std::move(bytesSentBlock_),
                                  std::move(requestRedirectedBlock_));
    }
    // Blocks capture the caller's objects, which belong to the main thread: let go of them there.
    MainLoop::shared()->post([blocks = std::move(blocks)]() mutable { blocks.reset(); });
    cancel();
}

bool HTTPRequest::isExecuting() const {
    std::scoped_lock lock(cancelledLock_);
    return inProgress_;
}

bool HTTPRequest::isFinished() const {
    std::scoped_lock lock(cancelledLock_);
    return finished_;
}

bool HTTPRequest::isCancelled() const {
    std::scoped_lock lock(cancelledLock_);
    return cancelled_;
}

bool HTTPRequest::complete() const {
    std::scoped_lock lock(cancelledLock_);
    return complete_;
}

void HTTPRequest::setOperationQueue(std::shared_ptr<OperationQueue> queue) {
    std::scoped_lock lock(cancelledLock_);
    operationQueue_ = std::move(queue);
}

void HTTPRequest::markAsFinished() {
    std::scoped_lock lock(cancelledLock_);
    if (finished_) {
        return;
    }
    inProgress_ = false;
    finished_ = true;
    // The queue starts the next request from here, which takes that request's lock.
    if (operationQueue_) {
        cancelledLock_.callOutAfterUnlock(
            [queue = std::move(operationQueue_), self = shared_from_this()] { queue->operationDidFinish(*self); });
    }
}

// --- Reporting ----------------------------------------------------------------------------

void HTTPRequest::deliver(Report kind, HTTPHeaders headers) {
    // Start and headers are only worth a trip to the main thread when someone listens (receivers
    // are configured before the start); the outcome always goes, since it also releases the blocks
    // there. Each trip wakes the main thread, which a stream of uploads feels.
    std::scoped_lock lock(cancelledLock_);
    const bool listened = !delegate_.expired() || queue_ || (kind == Report::Started && startedBlock_) ||
                          (kind == Report::Headers && headersReceivedBlock_) ||
                          (kind == Report::Redirected && requestRedirectedBlock_);
    const bool isOutcome = kind == Report::Finished || kind == Report::Failed || kind == Report::WillRedirect;
    if (!listened && !isOutcome) {
        return;
    }
    cancelledLock_.callOutAfterUnlock(
        [self = shared_from_this(), kind, headers = std::move(headers), url = redirectURL_]() mutable {
            MainLoop::shared()->post([self = std::move(self), kind, headers = std::move(headers), url] {
                self->deliverOnMainThread(kind, headers, url);
            });
        });
}

void HTTPRequest::deliverOnMainThread(Report kind, const HTTPHeaders& headers, const URL& redirectURL) {
    std::shared_ptr<HTTPRequestDelegate> delegate;
    std::shared_ptr<HTTPRequestQueue> queue;
    Block block;
    HeadersBlock headersBlock;
    {
        // Read at delivery: a receiver cleared in the meantime is told nothing.
        std::scoped_lock lock(cancelledLock_);
        delegate = delegate_.lock();
        queue = queue_;
        switch (kind) {
            case Report::Started:
                block = startedBlock_;
                break;
            case Report::Headers:
                headersBlock = headersReceivedBlock_;
                break;
            case Report::Redirected:
                block = requestRedirectedBlock_;
                break;
            case Report::WillRedirect:
                break;
            case Report::Finished:
                block = completionBlock_;
                break;
            case Report::Failed:
                block = failureBlock_;
                break;
        }
    }
    switch (kind) {
        case Report::Started:
            if (delegate) {
                delegate->requestStarted(*this);
            }
            if (block) {
                block();
            }
            if (queue) {
                queue->requestStarted(*this);
            }
            break;
        case Report::Headers:
            if (delegate) {
                delegate->requestDidReceiveResponseHeaders(*this, headers);
            }
            if (headersBlock) {
                headersBlock(headers);
            }
            if (queue) {
                queue->requestDidReceiveResponseHeaders(*this, headers);
            }
            break;
        case Report::Redirected:
            if (delegate) {
                delegate->requestRedirected(*this);
            }
            if (block) {
                block();
            }
            break;
        case Report::WillRedirect:
            // Whoever took the redirect calls redirectToURL; should it be gone by now, the request
            // follows the redirect itself rather than wait for ever.
            if (delegate && delegate->takesRedirects()) {
                delegate->requestWillRedirectToURL(*this, redirectURL);
            } else if (queue && queue->takesRedirects()) {
                queue->requestWillRedirectToURL(*this, redirectURL);
            } else {
                redirectToURL(redirectURL);
            }
            break;
        case Report::Finished:
        case Report::Failed:
            if (delegate) {
                kind == Report::Finished ? delegate->requestFinished(*this) : delegate->requestFailed(*this);
            }
            if (block) {
                block();
            }
            if (queue) {
                kind == Report::Finished ? queue->requestFinished(*this) : queue->requestFailed(*this);
            }
            // The outcome is out: nothing will call the blocks again.
            releaseBlocks();
            break;
    }
}

void HTTPRequest::releaseBlocks() {
    Block completion;
    Block failure;
    Block started;
    HeadersBlock headers;
    BytesSentBlock bytesSent;
    Block redirected;
    {
        std::scoped_lock lock(cancelledLock_);
        completion = std::move(completionBlock_);
        failure = std::move(failureBlock_);
        started = std::move(startedBlock_);
        headers = std::move(headersReceivedBlock_);
        bytesSent = std::move(bytesSentBlock_);
        redirected = std::move(requestRedirectedBlock_);
    }
}

void HTTPRequest::failWithError(const Error& error) {
    std::scoped_lock lock(cancelledLock_);
    complete_ = true;
    stopStatusTimer();
    if (error.code != kAuthenticationErrorType && error.code != kTooMuchRedirectionErrorType && transfer_) {
        NetworkThread::shared().removeTransfer(transfer_->easy());
        transfer_.reset();
    }
    if (cancelled_ || error_) {
        return;
    }
    error_ = error;
    removeTemporaryFiles();
    // Finished before the report is posted, so that the handlers see a finished request.
    if (inProgress_) {
        markAsFinished();
    }
    deliver(Report::Failed);
}

// --- Result -------------------------------------------------------------------------------

int HTTPRequest::responseStatusCode() const {
    std::scoped_lock lock(cancelledLock_);
    return responseStatusCode_;
}

std::string HTTPRequest::responseStatusMessage() const {
    std::scoped_lock lock(cancelledLock_);
    return responseStatusMessage_;
}

HTTPHeaders HTTPRequest::responseHeaders() const {
    std::scoped_lock lock(cancelledLock_);
    return responseHeaders_;
}

std::vector<HTTPCookie> HTTPRequest::responseCookies() const {
    std::scoped_lock lock(cancelledLock_);
    return responseCookies_;
}

std::optional<Error> HTTPRequest::error() const {
    std::scoped_lock lock(cancelledLock_);
    return error_;
}

std::vector<std::uint8_t> HTTPRequest::rawResponseData() const {
    std::scoped_lock lock(cancelledLock_);
    return responseBody_.raw();
}

const std::vector<std::uint8_t>& HTTPRequest::responseData() const {
    std::scoped_lock lock(cancelledLock_);
    return responseBody_.data();
}

std::optional<std::string> HTTPRequest::responseString() const {
    std::scoped_lock lock(cancelledLock_);
    const std::vector<std::uint8_t>& data = responseData();
    if (data.empty()) {
        return std::nullopt;
    }
    return decodeText(data, responseEncoding_.empty() ? defaultResponseEncoding_ : responseEncoding_);
}

std::string HTTPRequest::responseEncoding() const {
    std::scoped_lock lock(cancelledLock_);
    return responseEncoding_.empty() ? defaultResponseEncoding_ : responseEncoding_;
}

bool HTTPRequest::isResponseCompressed() const {
    std::scoped_lock lock(cancelledLock_);
    const auto encoding = responseHeaders_.find("Content-Encoding");
    if (encoding == responseHeaders_.end()) {
        return false;
    }
    std::string value = encoding->second;
    for (char& c : value) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return value.find("gzip") != std::string::npos;
}

std::uint64_t HTTPRequest::contentLength() const {
    std::scoped_lock lock(cancelledLock_);
    return contentLength_;
}

std::uint64_t HTTPRequest::totalBytesRead() const {
    std::scoped_lock lock(cancelledLock_);
    return totalBytesRead_;
}

int HTTPRequest::retryCount() const {
    std::scoped_lock lock(cancelledLock_);
    return retryCount_;
}

}  // namespace tomely
