#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "http/HTTPRequest.h"
#include "http/HTTPRequestDelegate.h"
#include "http/OperationQueue.h"
#include "http/ProgressReceiver.h"

namespace tomely {

class NetworkQueue;

// What a network queue can tell its delegate; the queue sends only the methods whose selector is
// set (see NetworkQueue). Every method runs on the main thread.
class NetworkQueueDelegate {
public:
    virtual ~NetworkQueueDelegate() = default;
    virtual void requestStarted(HTTPRequest& /*request*/) {}
    virtual void requestDidReceiveResponseHeaders(HTTPRequest& /*request*/, const HTTPHeaders& /*headers*/) {}
    // The delegate then calls request.redirectToURL (with this URL or another).
    virtual void requestWillRedirectToURL(HTTPRequest& /*request*/, const URL& /*url*/) {}
    virtual void requestFinished(HTTPRequest& /*request*/) {}
    virtual void requestFailed(HTTPRequest& /*request*/) {}
    virtual void queueFinished(NetworkQueue& /*queue*/) {}
};

// Runs HTTP requests, at most maxConcurrentOperationCount at once in the order added, and turns
// their events into queue-level callbacks for one delegate: a request started, finished or
// failed, and the whole queue finished (sent from the report of the request that brings
// requestsCount to 0, after that request's own handlers). Adds up the body sizes and bytes sent
// of its requests into one fraction for a progress receiver, and cancels the remaining requests
// as soon as one fails (shouldCancelAllRequestsOnFailure).
//
// A new queue is suspended: nothing runs until go().
//
// Threads: configure and add requests from any one thread before go(); every delegate method and
// progress update arrives on the main thread. The counters are guarded, so they may be read from
// any thread. Ownership: each request holds its queue (the queue holds its requests until they
// have finished); the delegate and progress receivers are held weakly.
class NetworkQueue : public HTTPRequestQueue, public std::enable_shared_from_this<NetworkQueue> {
public:
    // The delegate methods the queue sends; null (the default) sends nothing.
    using RequestSelector = void (NetworkQueueDelegate::*)(HTTPRequest&);
    using HeadersSelector = void (NetworkQueueDelegate::*)(HTTPRequest&, const HTTPHeaders&);
    using RedirectSelector = void (NetworkQueueDelegate::*)(HTTPRequest&, const URL&);
    using QueueSelector = void (NetworkQueueDelegate::*)(NetworkQueue&);

    // A suspended queue, at most 4 requests at once, cancel-on-failure on, accurate progress off.
    [[nodiscard]] static std::shared_ptr<NetworkQueue> queue();
    // A new suspended queue with this one's delegate, selectors, progress receivers,
    // cancel-on-failure and accurate-progress settings and user info; no requests.
    [[nodiscard]] std::shared_ptr<NetworkQueue> copy() const;

    void setDelegate(std::weak_ptr<NetworkQueueDelegate> delegate);
    void setRequestDidStartSelector(RequestSelector selector);
    void setRequestDidReceiveResponseHeadersSelector(HeadersSelector selector);
    // Set (with a delegate), the queue takes its requests' redirects and hands them to the delegate.
    void setRequestWillRedirectSelector(RedirectSelector selector);
    void setRequestDidFinishSelector(RequestSelector selector);
    void setRequestDidFailSelector(RequestSelector selector);
    void setQueueDidFinishSelector(QueueSelector selector);
    // Each receiver is set to a maximum of 1.0 and a value of 0.0 at once (on the main thread).
    void setUploadProgressDelegate(std::weak_ptr<ProgressReceiver> receiver);
    void setDownloadProgressDelegate(std::weak_ptr<ProgressReceiver> receiver);

    [[nodiscard]] bool shouldCancelAllRequestsOnFailure() const;
    void setShouldCancelAllRequestsOnFailure(bool cancel);
    // Count bytes (true) or one unit per request (false); set before adding requests.
    [[nodiscard]] bool showAccurateProgress() const;
    void setShowAccurateProgress(bool accurate);
    [[nodiscard]] std::map<std::string, std::string> userInfo() const;
    void setUserInfo(std::map<std::string, std::string> userInfo);

    void setMaxConcurrentOperationCount(std::size_t count);
    [[nodiscard]] std::size_t maxConcurrentOperationCount() const;
    void setSuspended(bool suspended);
    [[nodiscard]] bool isSuspended() const;
    [[nodiscard]] std::vector<std::shared_ptr<HTTPRequest>> operations() const;

    // Requests added and not yet finished or failed.
    [[nodiscard]] int requestsCount() const;
    [[nodiscard]] std::int64_t bytesUploadedSoFar() const;
    [[nodiscard]] std::int64_t totalBytesToUpload() const;
    [[nodiscard]] std::int64_t bytesDownloadedSoFar() const;
    [[nodiscard]] std::int64_t totalBytesToDownload() const;

    // Counts and sizes the request and lists it. With accurate progress its body is built now,
    // so its length is known (a body with file parts is written to its temporary file now); a
    // GET added while the queue is suspended is preceded by a HEAD request that sizes its
    // download.
    void addOperation(std::shared_ptr<HTTPRequest> request);
    // Lifts the suspension.
    void go();
    // Sets the four byte counters to 0, then cancels every request (each reports code 4).
    void cancelAllOperations();
    // Cancels everything, forgets delegate, selectors and receivers, and suspends the queue.
    void reset();

    // HTTPRequestQueue: main thread (takesRedirects: any thread).
    void requestStarted(HTTPRequest& request) override;
    void requestDidReceiveResponseHeaders(HTTPRequest& request, const HTTPHeaders& headers) override;
    [[nodiscard]] bool takesRedirects() const override;
    void requestWillRedirectToURL(HTTPRequest& request, const URL& url) override;
    void requestFinished(HTTPRequest& request) override;
    void requestFailed(HTTPRequest& request) override;
    void requestDidSendBytes(HTTPRequest& request, std::int64_t bytes) override;
    void requestDidReceiveBytes(HTTPRequest& request, std::int64_t bytes) override;
    void requestIncrementUploadSizeBy(HTTPRequest& request, std::int64_t bytes) override;
    void requestIncrementDownloadSizeBy(HTTPRequest& request, std::int64_t bytes) override;

private:
    NetworkQueue();
    // Counts the request out; returns the delegate and the requests still counted.
    std::pair<std::shared_ptr<NetworkQueueDelegate>, int> countOut();
    // 1.0 maximum and 0.0 value, on the main thread.
    static void resetReceiver(const std::weak_ptr<ProgressReceiver>& receiver);

    std::shared_ptr<OperationQueue> operations_;
    mutable std::mutex mutex_;
    std::weak_ptr<NetworkQueueDelegate> delegate_;
    RequestSelector requestDidStartSelector_ = nullptr;
    HeadersSelector requestDidReceiveResponseHeadersSelector_ = nullptr;
    RedirectSelector requestWillRedirectSelector_ = nullptr;
    RequestSelector requestDidFinishSelector_ = nullptr;
    RequestSelector requestDidFailSelector_ = nullptr;
    QueueSelector queueDidFinishSelector_ = nullptr;
    std::weak_ptr<ProgressReceiver> uploadProgressDelegate_;
    std::weak_ptr<ProgressReceiver> downloadProgressDelegate_;
    bool shouldCancelAllRequestsOnFailure_ = true;
    bool showAccurateProgress_ = false;
    std::map<std::string, std::string> userInfo_;
    int requestsCount_ = 0;
    std::int64_t bytesUploadedSoFar_ = 0;
    std::int64_t totalBytesToUpload_ = 0;
    std::int64_t bytesDownloadedSoFar_ = 0;
    std::int64_t totalBytesToDownload_ = 0;
};

}  // namespace tomely
