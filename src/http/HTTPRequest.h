#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "http/CurlTransfer.h"
#include "http/HTTPCookie.h"
#include "http/HTTPHeaders.h"
#include "http/HTTPRequestDelegate.h"
#include "http/NetworkThread.h"
#include "http/OperationQueue.h"
#include "http/ProgressReceiver.h"
#include "http/RequestTimeOut.h"
#include "http/ResponseBody.h"
#include "http/ResponseHead.h"
#include "http/URL.h"
#include "platform/CallOutMutex.h"
#include "platform/Error.h"
#include "platform/FileIO.h"
#include "platform/NotDumpable.h"

namespace tomely {

// One HTTP exchange as an operation: configure it, attach handlers, start it; it runs on the
// network thread and reports its outcome on the main thread.
//
//   created --start--> executing --headers--> receiving --end--> completed (completion reported)
//                          |  |  \--lost connection, first time: again on a fresh connection
//                          |  \--time-out within numberOfTimesToRetryOnTimeout: again
//                          |  \--301/302/303/307: executing again with the new URL (at most 5 times)
//                          \--transport error, time-out, 401/407, 6th redirect, cancel--> failed
//                          \--redirect from https to http, body past its limit or cut short--> failed
//
// While it runs, a status check every 0.25 s on the network thread watches for time-outs (a
// silence, or a transfer slower than its low-speed limit) and samples the bytes sent, which
// become upload progress for the receiver and the queue. Nothing bounds the whole exchange's
// duration: a large body on a slow line takes as long as it takes, as long as it moves.
// Any HTTP status is a completion: a 403 or a 500 reaches the completion handler. Only transport
// failures, cancellation, unanswered authentication challenges and internal errors reach the
// failure handler, each with an error of kNetworkRequestErrorDomain. A request reports exactly one
// outcome, after which it releases its blocks (on the main thread), so a block may capture the
// request without keeping it alive for ever.
//
// Threads: configure before starting, from any one thread. Everything handed to the delegate,
// the queue and the blocks runs on the main thread (MainLoop). The result accessors may be called
// from any thread; they are meant for the handlers. A request calls nothing outside itself (its
// queue, a delegate, the main loop) while it holds its lock, so a delegate or queue may take locks
// of its own and call back into requests. Ownership: whoever starts a request may drop it; the
// client keeps it alive until it has reported.
class HTTPRequest : public std::enable_shared_from_this<HTTPRequest>,
                    private CurlTransfer::Listener,
                    private NetworkThread::Client {
public:
    using Block = std::function<void()>;
    using HeadersBlock = std::function<void(const HTTPHeaders&)>;
    // Bytes sent since the last call, and the body's whole length.
    using BytesSentBlock = std::function<void(std::uint64_t sent, std::uint64_t total)>;

    [[nodiscard]] static std::shared_ptr<HTTPRequest> requestWithURL(const URL& url);
    ~HTTPRequest() override;
    HTTPRequest(const HTTPRequest&) = delete;
    HTTPRequest& operator=(const HTTPRequest&) = delete;

    // The process-wide queue of startAsynchronous: at most 4 requests at once.
    [[nodiscard]] static std::shared_ptr<OperationQueue> sharedQueue();
    // The time-out of requests made from now on (10 s unless changed). Thread-safe.
    // Idle connections are not used again; the next request to each server opens a new one.
    static void expirePersistentConnections();
    [[nodiscard]] static double defaultTimeOutSeconds();
    static void setDefaultTimeOutSeconds(double seconds);

    // --- Configuration -------------------------------------------------------------------
    [[nodiscard]] URL url() const;
    void setURL(const URL& url);
    // The first URL the request ran with.
    [[nodiscard]] URL originalURL() const;
    [[nodiscard]] std::string requestMethod() const;
    // "POST" or "PUT", or any method while a body exists, turns persistent connections off.
    void setRequestMethod(std::string method);
    // Replaces an earlier value of the same name (names compare without letter case).
    void addRequestHeader(const std::string& name, std::string value);
    [[nodiscard]] HTTPHeaders requestHeaders() const;

    void setPostBody(std::vector<std::uint8_t> body);
    // Both append to the temporary body file when shouldStreamPostDataFromDisk, else to memory.
    void appendPostData(std::span<const std::uint8_t> bytes);
    void appendPostDataFromFile(const std::string& path);
    // Appends the whole file at `path` without copying it: it is read as the body goes out, so it
    // must keep its length until the request has ended (else the request fails rather than send a
    // short body). For a body kept in memory and not compressed.
    void appendPostDataReadWhenSent(const std::string& path);
    [[nodiscard]] std::vector<std::uint8_t> postBody() const;
    [[nodiscard]] std::string postBodyFilePath() const;
    // The length of the body as sent (after compression); known once the body is built.
    [[nodiscard]] std::uint64_t postLength() const;
    [[nodiscard]] bool shouldStreamPostDataFromDisk() const;
    void setShouldStreamPostDataFromDisk(bool stream);
    // Where the body's temporary files are made (an existing directory); empty, the default: the
    // system's temporary directory. A caller whose bodies are large keeps them where its own
    // clean-up reaches them and off a memory-backed /tmp.
    [[nodiscard]] std::string temporaryFileDirectory() const;
    void setTemporaryFileDirectory(std::string directory);

    [[nodiscard]] bool shouldCompressRequestBody() const;
    void setShouldCompressRequestBody(bool compress);
    // The body holds a secret, such as a password: from this call until the request has ended
    // (answered, failed or cancelled) or gone, the process is not dumpable, and then the body's
    // bytes in memory (and a form's fields) are overwritten. For a body kept in memory.
    [[nodiscard]] bool bodyHoldsSecret() const;
    void setBodyHoldsSecret();
    [[nodiscard]] bool allowCompressedResponse() const;
    void setAllowCompressedResponse(bool allow);
    [[nodiscard]] bool useCookiePersistence() const;
    void setUseCookiePersistence(bool use);
    [[nodiscard]] bool validatesSecureCertificate() const;
    void setValidatesSecureCertificate(bool validates);
    [[nodiscard]] bool shouldAttemptPersistentConnection() const;
    void setShouldAttemptPersistentConnection(bool attempt);
    // Seconds without anything sent or received after which the request fails with code 2 (or
    // starts again, numberOfTimesToRetryOnTimeout times). 0 or less: never.
    [[nodiscard]] double timeOutSeconds() const;
    void setTimeOutSeconds(double seconds);
    [[nodiscard]] int numberOfTimesToRetryOnTimeout() const;
    void setNumberOfTimesToRetryOnTimeout(int times);
    // Follow 301, 302, 303 and 307 (on by default).
    [[nodiscard]] bool shouldRedirect() const;
    void setShouldRedirect(bool redirect);
    // Keep method, body and headers on 301 and 302 as well (off: they become a plain GET).
    [[nodiscard]] bool shouldUseRFC2616RedirectBehaviour() const;
    void setShouldUseRFC2616RedirectBehaviour(bool use);
    // A redirect from https to http is never followed (kInsecureRedirectErrorType). A request that
    // carries credentials, such as a sign-in form, follows no redirect to another scheme, host or
    // port either (kCredentialsRedirectErrorType). Off by default.
    [[nodiscard]] bool carriesCredentials() const;
    void setCarriesCredentials(bool carries);
    // The most bytes of a response body the request keeps, counted as received and again after
    // inflating; a larger body fails the request (kResponseTooLargeErrorType) as soon as it passes.
    static constexpr std::uint64_t kDefaultMaxResponseBodyBytes = 1024 * 1024;
    [[nodiscard]] std::uint64_t maxResponseBodyBytes() const;
    void setMaxResponseBodyBytes(std::uint64_t bytes);
    // A transfer that moves fewer than `bytesPerSecond` for `seconds` while it sends its body or
    // receives its answer fails as timed out (code 2, or starts again as a time-out does), however
    // steadily a trickle keeps the time-out away (see LowSpeedWatch). 100 bytes a second over 30 s
    // unless changed; 0 switches it off.
    static constexpr std::uint64_t kDefaultLowSpeedBytesPerSecond = 100;
    static constexpr double kDefaultLowSpeedSeconds = 30.0;
    [[nodiscard]] std::uint64_t lowSpeedBytesPerSecond() const;
    [[nodiscard]] double lowSpeedSeconds() const;
    void setLowSpeedLimit(std::uint64_t bytesPerSecond, double seconds);
    // How long the connection may wait idle for the next request (60 s; a server's "Keep-Alive"
    // timeout replaces it).
    [[nodiscard]] double persistentConnectionTimeoutSeconds() const;
    void setPersistentConnectionTimeoutSeconds(double seconds);
    // Progress in bytes (on by default), else one unit per request.
    [[nodiscard]] bool showAccurateProgress() const;
    void setShowAccurateProgress(bool accurate);
    // Whether the request registers its size with its receivers and queue when it starts; a
    // queue that registers it itself turns these off.
    [[nodiscard]] bool shouldResetUploadProgress() const;
    void setShouldResetUploadProgress(bool reset);
    [[nodiscard]] bool shouldResetDownloadProgress() const;
    void setShouldResetDownloadProgress(bool reset);
    [[nodiscard]] bool useHTTPVersionOne() const;
    void setUseHTTPVersionOne(bool use);
    // Caps the rate at which the body is sent, in bytes per second, for a connection shared with
    // others; the transport paces itself, so progress and time-outs see a steady trickle. 0, the
    // default: no cap.
    [[nodiscard]] std::uint64_t maxSendBytesPerSecond() const;
    void setMaxSendBytesPerSecond(std::uint64_t bytesPerSecond);
    // Overrides the default user agent; empty: the default.
    [[nodiscard]] std::string userAgent() const;
    void setUserAgent(std::string userAgent);
    // The text encoding assumed when a response names no charset IANA knows (ISO Latin-1).
    [[nodiscard]] std::string defaultResponseEncoding() const;
    void setDefaultResponseEncoding(std::string encoding);
    // Cookies sent in addition to those of the cookie store.
    [[nodiscard]] std::vector<HTTPCookie> requestCookies() const;
    void setRequestCookies(std::vector<HTTPCookie> cookies);

    void setDelegate(std::weak_ptr<HTTPRequestDelegate> delegate);
    [[nodiscard]] std::shared_ptr<HTTPRequestQueue> queue() const;
    void setQueue(std::shared_ptr<HTTPRequestQueue> queue);
    void setCompletionBlock(Block block);
    void setFailedBlock(Block block);
    void setStartedBlock(Block block);
    void setHeadersReceivedBlock(HeadersBlock block);
    void setBytesSentBlock(BytesSentBlock block);
    void setRequestRedirectedBlock(Block block);
    // Held weakly. The upload receiver is set to a maximum of 1.0 at once (on the main thread).
    void setUploadProgressDelegate(std::weak_ptr<ProgressReceiver> receiver);
    void setDownloadProgressDelegate(std::weak_ptr<ProgressReceiver> receiver);

    [[nodiscard]] std::map<std::string, std::string> userInfo() const;
    void setUserInfo(std::map<std::string, std::string> userInfo);
    [[nodiscard]] long tag() const;
    void setTag(long tag);

    // --- Running -------------------------------------------------------------------------
    // Adds the request to sharedQueue().
    void startAsynchronous();
    // Called by the queue that runs the request: marks it executing and hands it to the network
    // thread. Returns at once.
    void start();
    // Fails the request with code 4 unless it has already completed or been cancelled. The work
    // is done on the network thread; returns at once.
    void cancel();
    // Forgets delegate, queue and blocks first, so nothing more is reported, then cancels.
    void clearDelegatesAndCancel();
    // Builds the body once (a form request builds its form here). Normally run on the network
    // thread when the request starts; a queue may run it earlier, before the request is started.
    virtual void buildPostBody();
    // Follows a redirect that was handed to a delegate or queue (which may pass another URL).
    // Any thread; the work is done on the network thread. Does nothing unless a redirect waits.
    void redirectToURL(const URL& url);
    // A HEAD request with this request's URL and settings that only sizes the download: a queue
    // runs it first, and it reports no upload progress.
    [[nodiscard]] std::shared_ptr<HTTPRequest> headRequestForDownloadSize() const;
    [[nodiscard]] bool isHeadRequestForDownloadSize() const;

    [[nodiscard]] bool isExecuting() const;
    [[nodiscard]] bool isFinished() const;
    [[nodiscard]] bool isCancelled() const;
    // No further network work will be done in the current attempt.
    [[nodiscard]] bool complete() const;

    // --- Result --------------------------------------------------------------------------
    // 0 until a response head arrives.
    [[nodiscard]] int responseStatusCode() const;
    // The whole status line, e.g. "HTTP/1.1 200 OK".
    [[nodiscard]] std::string responseStatusMessage() const;
    [[nodiscard]] HTTPHeaders responseHeaders() const;
    [[nodiscard]] std::vector<HTTPCookie> responseCookies() const;
    [[nodiscard]] std::optional<Error> error() const;
    // The body as received (still gzip-compressed when the response is).
    [[nodiscard]] std::vector<std::uint8_t> rawResponseData() const;
    // The body, inflated as it arrived when the response is compressed (a body that does not
    // inflate fails the request with code 11). The request's own bytes, not a copy: read them
    // once the request has reported, from its handlers; they change when it starts again.
    [[nodiscard]] const std::vector<std::uint8_t>& responseData() const;
    // The body decoded with responseEncoding() as UTF-8; nothing without a body or when the body
    // is not valid text in that encoding.
    [[nodiscard]] std::optional<std::string> responseString() const;
    [[nodiscard]] std::string responseEncoding() const;
    // The response's "Content-Encoding" contains "gzip".
    [[nodiscard]] bool isResponseCompressed() const;
    // The response's "Content-Length", else the body bytes read.
    [[nodiscard]] std::uint64_t contentLength() const;
    [[nodiscard]] std::uint64_t totalBytesRead() const;
    // How often the exchange was repeated after a lost connection or a time-out.
    [[nodiscard]] int retryCount() const;
    // Redirects followed so far.
    [[nodiscard]] int redirectCount() const;
    // The last time anything was sent or received; the epoch before the request started.
    [[nodiscard]] std::chrono::steady_clock::time_point lastActivityTime() const;
    // Body bytes the transport has sent, as last sampled.
    [[nodiscard]] std::uint64_t totalBytesSent() const;
    // The transport's first block of the body, left out of progress (0 when the body went out
    // whole before the first sample).
    [[nodiscard]] std::uint64_t uploadBufferSize() const;
    // Whether the server let the last connection stay open for another request.
    [[nodiscard]] bool connectionCanBeReused() const;

protected:
    explicit HTTPRequest(const URL& url);

    // Records `error` as the outcome and reports it, unless the request was cancelled or has
    // already recorded one. Any thread.
    void failWithError(const Error& error);
    [[nodiscard]] bool haveBuiltPostBody() const;
    // Opens the temporary body file on first use; false (with the failure kept for the body build
    // to report) when it cannot be made.
    [[nodiscard]] bool openPostBodyFile();

    // Guards every field; recursive because the body build of a form request calls back in.
    // Whatever calls out of the request while it is held (telling the operation queue, posting a
    // report, asking a delegate) is handed to callOutAfterUnlock and runs once it is let go.
    mutable CallOutMutex cancelledLock_;

private:
    friend class OperationQueue;

    void main();
    void buildRequestHeaders();
    void startRequest();
    void cancelOnNetworkThread();
    void cancelLoad();
    void markAsFinished();
    void removeTemporaryFiles();
    void readResponseHead(const ResponseHead& head);
    void handleEndOfResponse();
    void handleTransportFailure(CURLcode result);
    void setOperationQueue(std::shared_ptr<OperationQueue> queue);
    // Whether this attempt may use, and leave open, a connection shared with other exchanges.
    void applyConnectionPolicy(CurlTransfer::Settings& settings);
    // Whether the connection of this response may serve another request.
    void decideConnectionReuse(const ResponseHead& head);
    // The connection of this exchange has gone back to the pool (or been closed).
    void releaseConnection();

    // Status check and progress (network thread).
    void startStatusTimer();
    void stopStatusTimer();
    void checkRequestStatus();
    // Fails the request as timed out, or starts it again when a retry is left.
    void handleTimeOut();
    void sampleBytesSent();
    void updateProgress();
    void updateUploadProgress();
    void updateDownloadProgress();
    void withdrawUploadProgress();

    // Redirects (network thread).
    void decideRedirect(const ResponseHead& head);
    // Why a redirect from the current URL to `target` must not be followed; nothing when it may.
    [[nodiscard]] std::optional<Error> redirectRefusal(const URL& target) const;
    void performRedirect();
    // Hands the pending redirect to the delegate or queue that takes it, or performs it.
    void continueRedirect(bool takenByReceiver);

    enum class Report { Started, Headers, Redirected, WillRedirect, Finished, Failed };
    // Posts `kind` to the main thread; the receivers are read again at delivery.
    void deliver(Report kind, HTTPHeaders headers = {});
    void deliverOnMainThread(Report kind, const HTTPHeaders& headers, const URL& redirectURL);
    enum class Progress { Registered, UploadSize, Sent, Withdrawn, DownloadSize, Received };
    // Posts a progress amount (and, for the request's own receivers, a fraction) to the main
    // thread, where the queue and receivers are read again.
    void deliverProgress(Progress kind, std::int64_t amount, double fraction = 0);
    void deliverProgressOnMainThread(Progress kind, std::int64_t amount, double fraction);
    void releaseBlocks();

    // CurlTransfer::Listener, NetworkThread::Client: network thread.
    bool transferDidReceiveHeaderLine(std::string_view line) override;
    bool transferDidReceiveBodyBytes(std::span<const std::uint8_t> bytes) override;
    void transferDidEnd(CURL* easy, CURLcode result) override;

    // Configuration.
    URL url_;
    URL originalURL_;
    std::string requestMethod_ = "GET";
    HTTPHeaders requestHeaders_;
    std::vector<std::uint8_t> postBody_;
    // A body with files read when sent: bytes and files in turn. Once built, postBody_ is empty.
    struct BodyPiece {
        std::vector<std::uint8_t> bytes;
        std::string filePath;
        std::uint64_t fileLength = 0;
    };
    std::vector<BodyPiece> postBodyPieces_;
    std::vector<std::uint8_t> compressedPostBody_;
    // Held while a secret body is in memory.
    std::optional<NotDumpableScope> secretBody_;
    std::string postBodyFilePath_;
    std::string compressedPostBodyFilePath_;
    std::string temporaryFileDirectory_;
    FileDescriptor postBodyFile_;
    std::optional<Error> bodyError_;
    std::uint64_t postLength_ = 0;
    bool shouldStreamPostDataFromDisk_ = false;
    bool shouldCompressRequestBody_ = false;
    bool allowCompressedResponse_ = true;
    bool useCookiePersistence_ = true;
    bool validatesSecureCertificate_ = true;
    bool shouldAttemptPersistentConnection_ = true;
    bool useHTTPVersionOne_ = false;
    bool carriesCredentials_ = false;
    std::uint64_t maxResponseBodyBytes_ = kDefaultMaxResponseBodyBytes;
    std::uint64_t lowSpeedBytesPerSecond_ = kDefaultLowSpeedBytesPerSecond;
    double lowSpeedSeconds_ = kDefaultLowSpeedSeconds;
    std::uint64_t maxSendBytesPerSecond_ = 0;
    std::string userAgent_;
    std::string defaultResponseEncoding_;
    std::vector<HTTPCookie> requestCookies_;
    std::weak_ptr<HTTPRequestDelegate> delegate_;
    std::shared_ptr<HTTPRequestQueue> queue_;
    Block completionBlock_;
    Block failureBlock_;
    Block startedBlock_;
    HeadersBlock headersReceivedBlock_;
    BytesSentBlock bytesSentBlock_;
    Block requestRedirectedBlock_;
    std::weak_ptr<ProgressReceiver> uploadProgressDelegate_;
    std::weak_ptr<ProgressReceiver> downloadProgressDelegate_;
    double timeOutSeconds_;
    int numberOfTimesToRetryOnTimeout_ = 0;
    bool shouldRedirect_ = true;
    bool shouldUseRFC2616RedirectBehaviour_ = false;
    double persistentConnectionTimeoutSeconds_ = 60.0;
    bool showAccurateProgress_ = true;
    bool shouldResetUploadProgress_ = true;
    bool shouldResetDownloadProgress_ = true;
    bool isHeadRequestForDownloadSize_ = false;
    std::map<std::string, std::string> userInfo_;
    long tag_ = 0;

    // Result.
    int responseStatusCode_ = 0;
    std::string responseStatusMessage_;
    HTTPHeaders responseHeaders_;
    std::vector<HTTPCookie> responseCookies_;
    ResponseBody responseBody_;
    std::string responseEncoding_;
    std::uint64_t contentLength_ = 0;
    std::uint64_t totalBytesRead_ = 0;
    // Bytes of the answer (head and body) received in this attempt, for the low-speed watch.
    std::uint64_t responseBytesReceived_ = 0;
    std::optional<Error> error_;

    // State.
    bool inProgress_ = false;
    bool finished_ = false;
    bool complete_ = false;
    bool cancelled_ = false;
    bool downloadComplete_ = false;
    bool responseHeadRead_ = false;
    bool haveBuiltPostBody_ = false;
    bool haveBuiltRequestHeaders_ = false;
    bool didCreateTemporaryPostDataFile_ = false;
    int retryCount_ = 0;
    int redirectCount_ = 0;
    bool needsRedirect_ = false;
    // The pending redirect turns the request into a plain GET when it is performed (not before:
    // the body may still be on its way out).
    bool redirectDropsBody_ = false;
    URL redirectURL_;
    bool connectionCanBeReused_ = false;
    // The kept-alive connection of the last attempt was refused as stale: the next one opens anew.
    bool needsFreshConnection_ = false;
    std::chrono::steady_clock::time_point lastActivityTime_{};
    std::uint64_t totalBytesSent_ = 0;
    std::uint64_t lastBytesSent_ = 0;
    // What the connection's send queue held at the last status check.
    std::optional<std::uint64_t> bytesNotYetTaken_;
    std::uint64_t uploadBufferSize_ = 0;
    std::uint64_t lastBytesRead_ = 0;
    // Upload bytes handed to receivers in this attempt, withdrawn when the exchange starts again.
    std::int64_t uploadBytesReported_ = 0;
    bool uploadUnitReported_ = false;
    bool downloadUnitReported_ = false;
    // The response announced no length: its download counts as one unit.
    bool downloadCountsAsUnit_ = false;
    // 0: none, 1: the server asked for credentials (401), 2: the proxy did (407).
    int authenticationNeeded_ = 0;
    std::shared_ptr<OperationQueue> operationQueue_;

    // Network thread only.
    std::unique_ptr<CurlTransfer> transfer_;
    // Why the request itself stopped the transfer from a callback (a refused redirect, a body
    // past its limit), reported once the transport has let go of it.
    std::optional<Error> abortedWith_;
    LowSpeedWatch lowSpeedWatch_;
    NetworkThread::TimerID statusTimer_ = 0;
    ResponseHeadParser headParser_;
};

}  // namespace tomely
