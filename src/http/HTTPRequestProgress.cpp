// The status check of a running exchange (time-outs, bytes sent) and the progress it reports.
#include <atomic>

#include "http/HTTPRequest.h"
#include "http/HTTPRequestError.h"
#include "http/RequestTimeOut.h"
#include "platform/MainLoop.h"

namespace tomely {
namespace {

constexpr std::chrono::milliseconds kStatusCheckInterval(250);

std::atomic<double>& defaultTimeOut() {
    static std::atomic<double> seconds(10.0);
    return seconds;
}

std::int64_t signedAmount(std::uint64_t bytes) {
    return static_cast<std::int64_t>(bytes);
}

}  // namespace

double HTTPRequest::defaultTimeOutSeconds() {
    return defaultTimeOut().load();
}

void HTTPRequest::setDefaultTimeOutSeconds(double seconds) {
    defaultTimeOut().store(seconds);
}

double HTTPRequest::timeOutSeconds() const {
    std::scoped_lock lock(cancelledLock_);
    return timeOutSeconds_;
}

void HTTPRequest::setTimeOutSeconds(double seconds) {
    std::scoped_lock lock(cancelledLock_);
    timeOutSeconds_ = seconds;
}

int HTTPRequest::numberOfTimesToRetryOnTimeout() const {
    std::scoped_lock lock(cancelledLock_);
    return numberOfTimesToRetryOnTimeout_;
}

void HTTPRequest::setNumberOfTimesToRetryOnTimeout(int times) {
    std::scoped_lock lock(cancelledLock_);
    numberOfTimesToRetryOnTimeout_ = times;
}

std::uint64_t HTTPRequest::lowSpeedBytesPerSecond() const {
    std::scoped_lock lock(cancelledLock_);
    return lowSpeedBytesPerSecond_;
}

double HTTPRequest::lowSpeedSeconds() const {
    std::scoped_lock lock(cancelledLock_);
    return lowSpeedSeconds_;
}

void HTTPRequest::setLowSpeedLimit(std::uint64_t bytesPerSecond, double seconds) {
    std::scoped_lock lock(cancelledLock_);
    lowSpeedBytesPerSecond_ = bytesPerSecond;
    lowSpeedSeconds_ = seconds;
}

bool HTTPRequest::showAccurateProgress() const {
    std::scoped_lock lock(cancelledLock_);
    return showAccurateProgress_;
}

void HTTPRequest::setShowAccurateProgress(bool accurate) {
    std::scoped_lock lock(cancelledLock_);
    showAccurateProgress_ = accurate;
}

bool HTTPRequest::shouldResetUploadProgress() const {
    std::scoped_lock lock(cancelledLock_);
    return shouldResetUploadProgress_;
}

void HTTPRequest::setShouldResetUploadProgress(bool reset) {
    std::scoped_lock lock(cancelledLock_);
    shouldResetUploadProgress_ = reset;
}

bool HTTPRequest::shouldResetDownloadProgress() const {
    std::scoped_lock lock(cancelledLock_);
    return shouldResetDownloadProgress_;
}

void HTTPRequest::setShouldResetDownloadProgress(bool reset) {
    std::scoped_lock lock(cancelledLock_);
    shouldResetDownloadProgress_ = reset;
}

void HTTPRequest::setUploadProgressDelegate(std::weak_ptr<ProgressReceiver> receiver) {
    {
        std::scoped_lock lock(cancelledLock_);
        uploadProgressDelegate_ = receiver;
    }
    MainLoop::shared()->post([receiver = std::move(receiver)] {
        if (const auto alive = receiver.lock()) {
            alive->setMaxValue(1.0);
        }
    });
}

void HTTPRequest::setDownloadProgressDelegate(std::weak_ptr<ProgressReceiver> receiver) {
    std::scoped_lock lock(cancelledLock_);
    downloadProgressDelegate_ = std::move(receiver);
}

std::chrono::steady_clock::time_point HTTPRequest::lastActivityTime() const {
    std::scoped_lock lock(cancelledLock_);
    return lastActivityTime_;
}

std::uint64_t HTTPRequest::totalBytesSent() const {
    std::scoped_lock lock(cancelledLock_);
    return totalBytesSent_;
}

std::uint64_t HTTPRequest::uploadBufferSize() const {
    std::scoped_lock lock(cancelledLock_);
    return uploadBufferSize_;
}

std::shared_ptr<HTTPRequest> HTTPRequest::headRequestForDownloadSize() const {
    std::scoped_lock lock(cancelledLock_);
    auto head = requestWithURL(url_);
    head->requestMethod_ = "HEAD";
    head->requestHeaders_ = requestHeaders_;
    head->allowCompressedResponse_ = allowCompressedResponse_;
    head->useCookiePersistence_ = useCookiePersistence_;
    head->validatesSecureCertificate_ = validatesSecureCertificate_;
    head->useHTTPVersionOne_ = useHTTPVersionOne_;
    head->userAgent_ = userAgent_;
    head->timeOutSeconds_ = timeOutSeconds_;
    head->lowSpeedBytesPerSecond_ = lowSpeedBytesPerSecond_;
    head->lowSpeedSeconds_ = lowSpeedSeconds_;
    head->carriesCredentials_ = carriesCredentials_;
    head->numberOfTimesToRetryOnTimeout_ = numberOfTimesToRetryOnTimeout_;
    head->shouldRedirect_ = shouldRedirect_;
    head->persistentConnectionTimeoutSeconds_ = persistentConnectionTimeoutSeconds_;
    head->showAccurateProgress_ = true;
    head->isHeadRequestForDownloadSize_ = true;
    return head;
}

bool HTTPRequest::isHeadRequestForDownloadSize() const {
    std::scoped_lock lock(cancelledLock_);
    return isHeadRequestForDownloadSize_;
}

// --- Status check -------------------------------------------------------------------------

void HTTPRequest::startStatusTimer() {
    stopStatusTimer();
    lastActivityTime_ = std::chrono::steady_clock::now();
    std::weak_ptr<HTTPRequest> weak = weak_from_this();
    statusTimer_ = NetworkThread::shared().addRepeatingTimer(kStatusCheckInterval, [weak] {
        if (const auto self = weak.lock()) {
            self->checkRequestStatus();
        }
    });
}

void HTTPRequest::stopStatusTimer() {
    // Only the network thread ever starts the timer, so only it finds one to stop.
    if (statusTimer_ != 0) {
        NetworkThread::shared().removeTimer(statusTimer_);
        statusTimer_ = 0;
    }
}

void HTTPRequest::checkRequestStatus() {
    std::scoped_lock lock(cancelledLock_);
    if (!inProgress_ || cancelled_ || complete_) {
        stopStatusTimer();
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    const double secondsIdle = std::chrono::duration<double>(now - lastActivityTime_).count();
    if (transfer_ && hasTimedOut(secondsIdle, timeOutSeconds_, postLength_, uploadBufferSize_, totalBytesSent_)) {
        handleTimeOut();
        return;
    }
    sampleBytesSent();
    // Moving: the body is on its way out (its first sample seen, not all of it gone), or the
    // answer has begun to arrive.
    const bool sending = postLength_ > 0 && totalBytesSent_ > 0 && totalBytesSent_ < postLength_;
    if (transfer_ && lowSpeedWatch_.isTooSlow(now, sending || responseBytesReceived_ > 0,
                                              totalBytesSent_ + responseBytesReceived_)) {
        handleTimeOut();
        return;
    }
    updateProgress();
}

void HTTPRequest::handleTimeOut() {
    if (retryCount_ >= numberOfTimesToRetryOnTimeout_) {
        failWithError(requestTimedOutError());
        cancelLoad();
        complete_ = true;
        return;
    }
    ++retryCount_;
    NetworkThread::shared().removeTransfer(transfer_->easy());
    transfer_.reset();
    startRequest();
}

void HTTPRequest::sampleBytesSent() {
    if (postLength_ == 0 || !transfer_) {
        return;
    }
    lastBytesSent_ = totalBytesSent_;
    totalBytesSent_ = transfer_->bodyBytesSent();
    // The body may have gone whole into the socket's buffer long ago; while the peer still takes
    // bytes from it, the exchange moves, however slowly a shared line lets it.
    const std::optional<std::uint64_t> notYetTaken = transfer_->bytesNotYetTaken();
    const bool peerTookBytes = notYetTaken && bytesNotYetTaken_ && *notYetTaken < *bytesNotYetTaken_;
    bytesNotYetTaken_ = notYetTaken;
    if (totalBytesSent_ > lastBytesSent_ || peerTookBytes) {
        lastActivityTime_ = std::chrono::steady_clock::now();
    }
}

// --- Progress -----------------------------------------------------------------------------

void HTTPRequest::updateProgress() {
    updateUploadProgress();
    updateDownloadProgress();
}

void HTTPRequest::updateUploadProgress() {
    if (cancelled_ || isHeadRequestForDownloadSize_) {
        return;
    }
    if (!showAccurateProgress_) {
        // One unit per request once it is done, body or not, so that a queue counting units
        // reaches its total.
        if (complete_ && !uploadUnitReported_) {
            uploadUnitReported_ = true;
            deliverProgress(Progress::Sent, 1, 1.0);
        }
        return;
    }
    if (totalBytesSent_ == 0) {
        return;
    }
    if (uploadBufferSize_ == 0 && totalBytesSent_ != postLength_) {
        // The transport's first block says only that a buffer was filled: leave it out of both
        // the amount sent and the size, so that progress moves when the peer takes bytes.
        uploadBufferSize_ = totalBytesSent_;
        deliverProgress(Progress::UploadSize, -signedAmount(uploadBufferSize_));
    }
    if (totalBytesSent_ != postLength_ && lastBytesSent_ == 0) {
        return;
    }
    const std::int64_t amount = signedAmount(totalBytesSent_) - signedAmount(lastBytesSent_);
    if (amount == 0) {
        return;
    }
    uploadBytesReported_ += amount;
    const double fraction = static_cast<double>(totalBytesSent_ - uploadBufferSize_) /
                            (static_cast<double>(postLength_ - uploadBufferSize_) * 1.0);
    deliverProgress(Progress::Sent, amount, fraction);
}

void HTTPRequest::updateDownloadProgress() {
    if (cancelled_) {
        return;
    }
    if (!showAccurateProgress_ || downloadCountsAsUnit_) {
        if (complete_ && !downloadUnitReported_) {
            downloadUnitReported_ = true;
            deliverProgress(Progress::Received, 1, 1.0);
        }
        return;
    }
    const std::int64_t amount = signedAmount(totalBytesRead_) - signedAmount(lastBytesRead_);
    lastBytesRead_ = totalBytesRead_;
    if (amount == 0) {
        return;
    }
    const double fraction =
        contentLength_ == 0 ? 1.0 : static_cast<double>(totalBytesRead_) / (static_cast<double>(contentLength_) * 1.0);
    deliverProgress(Progress::Received, amount, fraction);
}

void HTTPRequest::withdrawUploadProgress() {
    // Exactly what this attempt reported goes back, so the queue's total stays true when the
    // body is sent again.
    if (uploadBytesReported_ != 0) {
        deliverProgress(Progress::Withdrawn, -uploadBytesReported_);
        uploadBytesReported_ = 0;
    }
}

void HTTPRequest::deliverProgress(Progress kind, std::int64_t amount, double fraction) {
    const bool upload = kind == Progress::Registered || kind == Progress::UploadSize || kind == Progress::Sent ||
                        kind == Progress::Withdrawn;
    const bool listened = queue_ || (upload ? !uploadProgressDelegate_.expired() || bytesSentBlock_ != nullptr
                                            : !downloadProgressDelegate_.expired());
    if (!listened) {
        return;
    }
    cancelledLock_.callOutAfterUnlock([self = shared_from_this(), kind, amount, fraction]() mutable {
        MainLoop::shared()->post([self = std::move(self), kind, amount, fraction] {
            self->deliverProgressOnMainThread(kind, amount, fraction);
        });
    });
}

void HTTPRequest::deliverProgressOnMainThread(Progress kind, std::int64_t amount, double fraction) {
    std::shared_ptr<HTTPRequestQueue> queue;
    std::shared_ptr<ProgressReceiver> uploadReceiver;
    std::shared_ptr<ProgressReceiver> downloadReceiver;
    BytesSentBlock bytesSent;
    std::uint64_t total = 0;
    {
        // Read at delivery: a receiver cleared in the meantime is told nothing.
        std::scoped_lock lock(cancelledLock_);
        queue = queue_;
        uploadReceiver = uploadProgressDelegate_.lock();
        downloadReceiver = downloadProgressDelegate_.lock();
        bytesSent = bytesSentBlock_;
        total = postLength_;
    }
    switch (kind) {
        case Progress::Registered:
        case Progress::UploadSize:
            if (queue) {
                queue->requestIncrementUploadSizeBy(*this, amount);
            }
            if (uploadReceiver) {
                uploadReceiver->requestIncrementUploadSizeBy(*this, amount);
                if (kind == Progress::Registered) {
                    uploadReceiver->setDoubleValue(0.0);
                }
            }
            break;
        case Progress::Sent:
            if (queue) {
                queue->requestDidSendBytes(*this, amount);
            }
            if (uploadReceiver) {
                uploadReceiver->requestDidSendBytes(*this, amount);
                uploadReceiver->setDoubleValue(fraction);
            }
            if (bytesSent) {
                bytesSent(static_cast<std::uint64_t>(amount), total);
            }
            break;
        case Progress::Withdrawn:
            if (queue) {
                queue->requestDidSendBytes(*this, amount);
            }
            if (uploadReceiver) {
                uploadReceiver->requestDidSendBytes(*this, amount);
                uploadReceiver->setDoubleValue(0.0);
            }
            break;
        case Progress::DownloadSize:
            if (queue) {
                queue->requestIncrementDownloadSizeBy(*this, amount);
            }
            break;
        case Progress::Received:
            if (queue) {
                queue->requestDidReceiveBytes(*this, amount);
            }
            if (downloadReceiver) {
                downloadReceiver->setDoubleValue(fraction);
            }
            break;
    }
}

}  // namespace tomely
