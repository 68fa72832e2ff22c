#include "http/NetworkQueue.h"

#include <utility>

#include "platform/MainLoop.h"

namespace tomely {
namespace {

constexpr std::size_t kDefaultMaxConcurrentOperations = 4;

void onMainThread(std::function<void()> task) {
    const auto loop = MainLoop::shared();
    if (loop->isMainThread()) {
        task();
    } else {
        loop->post(std::move(task));
    }
}

void sendFraction(const std::weak_ptr<ProgressReceiver>& receiver, std::int64_t done, std::int64_t total) {
    const auto alive = receiver.lock();
    if (alive && total > 0) {
        alive->setDoubleValue(static_cast<double>(done) / (static_cast<double>(total) * 1.0));
    }
}

}  // namespace

NetworkQueue::NetworkQueue() : operations_(OperationQueue::create(kDefaultMaxConcurrentOperations)) {
    operations_->setSuspended(true);
}

std::shared_ptr<NetworkQueue> NetworkQueue::queue() {
    return std::shared_ptr<NetworkQueue>(new NetworkQueue());
}

std::shared_ptr<NetworkQueue> NetworkQueue::copy() const {
    auto twin = queue();
    std::scoped_lock lock(mutex_);
    twin->delegate_ = delegate_;
    twin->requestDidStartSelector_ = requestDidStartSelector_;
    twin->requestDidReceiveResponseHeadersSelector_ = requestDidReceiveResponseHeadersSelector_;
    twin->requestWillRedirectSelector_ = requestWillRedirectSelector_;
    twin->requestDidFinishSelector_ = requestDidFinishSelector_;
    twin->requestDidFailSelector_ = requestDidFailSelector_;
    twin->queueDidFinishSelector_ = queueDidFinishSelector_;
    twin->uploadProgressDelegate_ = uploadProgressDelegate_;
    twin->downloadProgressDelegate_ = downloadProgressDelegate_;
    twin->shouldCancelAllRequestsOnFailure_ = shouldCancelAllRequestsOnFailure_;
    twin->showAccurateProgress_ = showAccurateProgress_;
    twin->userInfo_ = userInfo_;
    return twin;
}

// --- Configuration ------------------------------------------------------------------------

void NetworkQueue::setDelegate(std::weak_ptr<NetworkQueueDelegate> delegate) {
    std::scoped_lock lock(mutex_);
    delegate_ = std::move(delegate);
}

void NetworkQueue::setRequestDidStartSelector(RequestSelector selector) {
    std::scoped_lock lock(mutex_);
    requestDidStartSelector_ = selector;
}

void NetworkQueue::setRequestDidReceiveResponseHeadersSelector(HeadersSelector selector) {
    std::scoped_lock lock(mutex_);
    requestDidReceiveResponseHeadersSelector_ = selector;
}

void NetworkQueue::setRequestWillRedirectSelector(RedirectSelector selector) {
    std::scoped_lock lock(mutex_);
    requestWillRedirectSelector_ = selector;
}

void NetworkQueue::setRequestDidFinishSelector(RequestSelector selector) {
    std::scoped_lock lock(mutex_);
    requestDidFinishSelector_ = selector;
}

void NetworkQueue::setRequestDidFailSelector(RequestSelector selector) {
    std::scoped_lock lock(mutex_);
    requestDidFailSelector_ = selector;
}

void NetworkQueue::setQueueDidFinishSelector(QueueSelector selector) {
    std::scoped_lock lock(mutex_);
    queueDidFinishSelector_ = selector;
}

void NetworkQueue::resetReceiver(const std::weak_ptr<ProgressReceiver>& receiver) {
    onMainThread([receiver] {
        if (const auto alive = receiver.lock()) {
            alive->setMaxValue(1.0);
            alive->setDoubleValue(0.0);
        }
    });
}

void NetworkQueue::setUploadProgressDelegate(std::weak_ptr<ProgressReceiver> receiver) {
    {
        std::scoped_lock lock(mutex_);
        uploadProgressDelegate_ = receiver;
    }
    resetReceiver(receiver);
}

void NetworkQueue::setDownloadProgressDelegate(std::weak_ptr<ProgressReceiver> receiver) {
    {
        std::scoped_lock lock(mutex_);
        downloadProgressDelegate_ = receiver;
    }
    resetReceiver(receiver);
}

bool NetworkQueue::shouldCancelAllRequestsOnFailure() const {
    std::scoped_lock lock(mutex_);
    return shouldCancelAllRequestsOnFailure_;
}

void NetworkQueue::setShouldCancelAllRequestsOnFailure(bool cancel) {
    std::scoped_lock lock(mutex_);
    shouldCancelAllRequestsOnFailure_ = cancel;
}

bool NetworkQueue::showAccurateProgress() const {
    std::scoped_lock lock(mutex_);
    return showAccurateProgress_;
}

void NetworkQueue::setShowAccurateProgress(bool accurate) {
    std::scoped_lock lock(mutex_);
    showAccurateProgress_ = accurate;
}

std::map<std::string, std::string> NetworkQueue::userInfo() const {
    std::scoped_lock lock(mutex_);
    return userInfo_;
}

void NetworkQueue::setUserInfo(std::map<std::string, std::string> userInfo) {
    std::scoped_lock lock(mutex_);
    userInfo_ = std::move(userInfo);
}

void NetworkQueue::setMaxConcurrentOperationCount(std::size_t count) {
    operations_->setMaxConcurrentOperationCount(count);
}

std::size_t NetworkQueue::maxConcurrentOperationCount() const {
    return operations_->maxConcurrentOperationCount();
}

void NetworkQueue::setSuspended(bool suspended) {
    operations_->setSuspended(suspended);
}

bool NetworkQueue::isSuspended() const {
    return operations_->isSuspended();
}

std::vector<std::shared_ptr<HTTPRequest>> NetworkQueue::operations() const {
    return operations_->operations();
}

int NetworkQueue::requestsCount() const {
    std::scoped_lock lock(mutex_);
    return requestsCount_;
}

std::int64_t NetworkQueue::bytesUploadedSoFar() const {
    std::scoped_lock lock(mutex_);
    return bytesUploadedSoFar_;
}

std::int64_t NetworkQueue::totalBytesToUpload() const {
    std::scoped_lock lock(mutex_);
    return totalBytesToUpload_;
}

std::int64_t NetworkQueue::bytesDownloadedSoFar() const {
    std::scoped_lock lock(mutex_);
    return bytesDownloadedSoFar_;
}

std::int64_t NetworkQueue::totalBytesToDownload() const {
    std::scoped_lock lock(mutex_);
    return totalBytesToDownload_;
}

// --- Running ------------------------------------------------------------------------------

void NetworkQueue::addOperation(std::shared_ptr<HTTPRequest> request) {
    if (!request) {
        return;
    }
    bool accurate = false;
    std::weak_ptr<ProgressReceiver> uploadReceiver;
    std::weak_ptr<ProgressReceiver> downloadReceiver;
    {
        std::scoped_lock lock(mutex_);
        ++requestsCount_;
        accurate = showAccurateProgress_;
        uploadReceiver = uploadProgressDelegate_;
        downloadReceiver = downloadProgressDelegate_;
    }
    std::shared_ptr<HTTPRequest> head;
    if (accurate) {
        request->buildPostBody();
        if (request->requestMethod() == "GET" && operations_->isSuspended()) {
            head = request->headRequestForDownloadSize();
            head->setShouldResetUploadProgress(false);
            head->setQueue(shared_from_this());
            if (request->shouldResetDownloadProgress()) {
                resetReceiver(downloadReceiver);
                request->setShouldResetDownloadProgress(false);
            }
        }
        // Read before the queue's lock is taken: the request's own is never taken under it.
        const auto length = static_cast<std::int64_t>(request->postLength());
        std::scoped_lock lock(mutex_);
        totalBytesToUpload_ += length;
    } else {
        std::scoped_lock lock(mutex_);
        ++totalBytesToDownload_;
        ++totalBytesToUpload_;
    }
    if (request->shouldResetUploadProgress()) {
        resetReceiver(uploadReceiver);
        request->setShouldResetUploadProgress(false);
    }
    request->setShowAccurateProgress(accurate);
    request->setQueue(shared_from_this());
    if (head) {
        operations_->addOperation(head);
    }
    operations_->addOperation(std::move(request), head.get());
}

void NetworkQueue::go() {
    operations_->setSuspended(false);
}

void NetworkQueue::cancelAllOperations() {
    {
        std::scoped_lock lock(mutex_);
        bytesUploadedSoFar_ = 0;
        totalBytesToUpload_ = 0;
        bytesDownloadedSoFar_ = 0;
        totalBytesToDownload_ = 0;
    }
    operations_->cancelAllOperations();
}

void NetworkQueue::reset() {
    cancelAllOperations();
    {
        std::scoped_lock lock(mutex_);
        delegate_.reset();
        uploadProgressDelegate_.reset();
        downloadProgressDelegate_.reset();
        requestDidStartSelector_ = nullptr;
        requestDidReceiveResponseHeadersSelector_ = nullptr;
        requestWillRedirectSelector_ = nullptr;
        requestDidFinishSelector_ = nullptr;
        requestDidFailSelector_ = nullptr;
        queueDidFinishSelector_ = nullptr;
    }
    operations_->setSuspended(true);
}

// --- Request events (main thread) ---------------------------------------------------------

void NetworkQueue::requestStarted(HTTPRequest& request) {
    if (request.isHeadRequestForDownloadSize()) {
        return;
    }
    std::shared_ptr<NetworkQueueDelegate> delegate;
    RequestSelector selector = nullptr;
    {
        std::scoped_lock lock(mutex_);
        delegate = delegate_.lock();
        selector = requestDidStartSelector_;
    }
    if (delegate && selector) {
        (delegate.get()->*selector)(request);
    }
}

void NetworkQueue::requestDidReceiveResponseHeaders(HTTPRequest& request, const HTTPHeaders& headers) {
    if (request.isHeadRequestForDownloadSize()) {
        return;
    }
    std::shared_ptr<NetworkQueueDelegate> delegate;
    HeadersSelector selector = nullptr;
    {
        std::scoped_lock lock(mutex_);
        delegate = delegate_.lock();
        selector = requestDidReceiveResponseHeadersSelector_;
    }
    if (delegate && selector) {
        (delegate.get()->*selector)(request, headers);
    }
}

bool NetworkQueue::takesRedirects() const {
    std::scoped_lock lock(mutex_);
    return requestWillRedirectSelector_ != nullptr && !delegate_.expired();
}

void NetworkQueue::requestWillRedirectToURL(HTTPRequest& request, const URL& url) {
    std::shared_ptr<NetworkQueueDelegate> delegate;
    RedirectSelector selector = nullptr;
    {
        std::scoped_lock lock(mutex_);
        delegate = delegate_.lock();
        selector = requestWillRedirectSelector_;
    }
    if (delegate && selector) {
        (delegate.get()->*selector)(request, url);
    } else {
        // Taken over and then let go: the request follows the redirect itself.
        request.redirectToURL(url);
    }
}

std::pair<std::shared_ptr<NetworkQueueDelegate>, int> NetworkQueue::countOut() {
    std::scoped_lock lock(mutex_);
    --requestsCount_;
    return {delegate_.lock(), requestsCount_};
}

void NetworkQueue::requestFinished(HTTPRequest& request) {
    if (request.isHeadRequestForDownloadSize()) {
        return;
    }
    const auto [delegate, remaining] = countOut();
    RequestSelector selector = nullptr;
    QueueSelector finished = nullptr;
    {
        std::scoped_lock lock(mutex_);
        selector = requestDidFinishSelector_;
        finished = queueDidFinishSelector_;
    }
    if (delegate && selector) {
        (delegate.get()->*selector)(request);
    }
    if (remaining == 0 && delegate && finished) {
        (delegate.get()->*finished)(*this);
    }
}

void NetworkQueue::requestFailed(HTTPRequest& request) {
    if (request.isHeadRequestForDownloadSize()) {
        return;
    }
    const auto [delegate, remaining] = countOut();
    RequestSelector selector = nullptr;
    QueueSelector finished = nullptr;
    bool cancelRest = false;
    {
        std::scoped_lock lock(mutex_);
        selector = requestDidFailSelector_;
        finished = queueDidFinishSelector_;
        cancelRest = shouldCancelAllRequestsOnFailure_;
    }
    if (delegate && selector) {
        (delegate.get()->*selector)(request);
    }
    if (remaining == 0 && delegate && finished) {
        (delegate.get()->*finished)(*this);
    }
    if (cancelRest && remaining > 0) {
        cancelAllOperations();
    }
}

void NetworkQueue::requestDidSendBytes(HTTPRequest& /*request*/, std::int64_t bytes) {
    std::weak_ptr<ProgressReceiver> receiver;
    std::int64_t done = 0;
    std::int64_t total = 0;
    {
        std::scoped_lock lock(mutex_);
        bytesUploadedSoFar_ += bytes;
        done = bytesUploadedSoFar_;
        total = totalBytesToUpload_;
        receiver = uploadProgressDelegate_;
    }
    sendFraction(receiver, done, total);
}

void NetworkQueue::requestDidReceiveBytes(HTTPRequest& /*request*/, std::int64_t bytes) {
    std::weak_ptr<ProgressReceiver> receiver;
    std::int64_t done = 0;
    std::int64_t total = 0;
    {
        std::scoped_lock lock(mutex_);
        bytesDownloadedSoFar_ += bytes;
        done = bytesDownloadedSoFar_;
        total = totalBytesToDownload_;
        receiver = downloadProgressDelegate_;
    }
    sendFraction(receiver, done, total);
}

void NetworkQueue::requestIncrementUploadSizeBy(HTTPRequest& /*request*/, std::int64_t bytes) {
    std::scoped_lock lock(mutex_);
    totalBytesToUpload_ += bytes;
}

void NetworkQueue::requestIncrementDownloadSizeBy(HTTPRequest& /*request*/, std::int64_t bytes) {
    std::scoped_lock lock(mutex_);
    totalBytesToDownload_ += bytes;
}

}  // namespace tomely
