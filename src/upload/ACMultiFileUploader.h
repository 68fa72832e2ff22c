#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "http/NetworkQueue.h"
#include "http/ProgressReceiver.h"
#include "http/RetryPolicy.h"
#include "platform/Error.h"
#include "support/WorkArea.h"

namespace tomely {

// Thrown by ACMultiFileUploader::uploadFiles while the same uploader still has an upload under
// way: a programming error, mended by using another instance.
class UploadInProgress : public std::logic_error {
public:
    static constexpr std::string_view kName = "Upload in progress";
    UploadInProgress() : std::logic_error("Create another instance") {}
};

// Sends part files of the Working directory to the service: one multipart form post per file to
// ServiceAPI::uploadURL, through a NetworkQueue that runs up to maxPartsInFlight requests at once
// and counts progress in bytes. Each post carries the fields "name", "isZipped", "isBatch",
// "batchTotal", "batchCurrent", "size" and "crc" (size and CRC-32 of the file as stored), then one
// field per parameter, and the part "file" holding deflateData() of the file: the very bytes whose
// fingerprint the manifest gave. Request bodies are not compressed again, and the default time-out
// applies.
//
// Unlike the queue of one request at a time it replaces, parts in flight together finish in any
// order, so the uploader judges each answer (200 to 299 is a success) and keeps the request with
// the last "batchCurrent" back until every other part has succeeded: a service that finishes a
// book on its last part still sees it last. A part whose request fails for a reason that may pass
// (see RetryPolicy; none by default) is sent again alone after a wait, as often as the policy
// allows, while the parts already sent stay sent; each wait is reported through retryBlock. The
// first part that fails for good (an answer outside 200-299, or no answer) stops the batch: every
// request still under way is cancelled, a part waiting to be sent again is not, and the last part
// is never sent. Only the attempt that ends a part's retries reaches fileFinishedBlock or
// fileFailedBlock.
//
// Memory stays bounded whatever the size of the batch: the preparation reads and compresses one
// file at a time and stages its compressed form in the work area's staging directory (outside the
// Working directory, so no listing sees it), from where the request reads it as its body goes
// out, between the form's header and trailer. The directory goes when the upload has finished,
// and in any case with the work area. A file that cannot be read, compressed or staged (a full
// disk) ends the preparation: no request is sent, preparationFailedBlock says which file and why,
// and queueFinishedBlock follows as always.
//
// Threads: uploadFiles() returns at once. The preparation runs on a SerialQueue of the upload, and
// compressionBlock is called there, once per file as it is ready. The queue starts, on the main
// thread, when every request has been built, so the total is complete before the first byte goes
// out. Every other block runs on the main thread, with the uploader's active() queue.
// queueFinishedBlock is called exactly once per upload, also after a failure or cancel(), once no
// request is under way any more, and last: nothing is reported after it.
//
// Ownership: the uploader keeps itself alive from uploadFiles() until queueFinishedBlock has
// returned, so a caller may drop it at once. Blocks are held until the uploader goes; a block
// that captures the uploader strongly keeps it for ever.
class ACMultiFileUploader : public std::enable_shared_from_this<ACMultiFileUploader>,
                            private NetworkQueueDelegate,
                            private ProgressReceiver {
public:
    using RequestBlock = std::function<void(ACMultiFileUploader& uploader, NetworkQueue& queue, HTTPRequest& request)>;
    using QueueBlock = std::function<void(ACMultiFileUploader& uploader, NetworkQueue& queue)>;
    // The fraction of all request bodies sent, 0 to 1.
    using ProgressBlock = std::function<void(ACMultiFileUploader& uploader, NetworkQueue& queue, double fraction)>;
    using CompressionBlock =
        std::function<void(ACMultiFileUploader& uploader, std::uint64_t filesDone, std::uint64_t filesInList)>;
    // The deflateData() form of the file `name`, which the uploader made itself.
    using CompressedBlock = std::function<void(ACMultiFileUploader& uploader, const std::string& name,
                                               std::span<const std::uint8_t> deflated)>;
    // The part of `request`, whose attempt failed, is sent again once retry.delay has passed.
    using RetryBlock =
        std::function<void(ACMultiFileUploader& uploader, HTTPRequest& request, const RetryPolicy::Retry& retry)>;
    // Field name -> text; sent after the uploader's own fields, in key order.
    using Parameters = std::map<std::string, std::string>;
    using FailedBlock = std::function<void(ACMultiFileUploader& uploader, const Error& error)>;

    // Enough to keep a line of 100 Mbit/s busy across a continent; one more adds little, and each
    // is a connection the service holds.
    static constexpr std::size_t kDefaultPartsInFlight = 4;

    // An uploader of files of the Working directory of `workArea`, which it stages its request
    // bodies in; one upload at a time per work area.
    [[nodiscard]] static std::shared_ptr<ACMultiFileUploader> create(WorkArea workArea);

    // Uploads the files named in `names` (manifest keys: paths below the Working directory that
    // begin with "/"), as one batch, for the book `bookGuid`. An empty list finishes at once.
    // Throws UploadInProgress when an upload of this uploader has not finished yet. Main thread.
    void uploadFiles(std::vector<std::string> names, std::string bookGuid, Parameters parameters);
    // Stops the upload: what is not prepared yet is not, and every request fails as cancelled (each
    // reported through fileFailedBlock); queueFinishedBlock follows as always. Main thread.
    void cancel();

    // The queue of the upload under way, from uploadFiles() until queueFinishedBlock returns.
    [[nodiscard]] std::shared_ptr<NetworkQueue> active() const;
    // Bytes of the request bodies sent so far and in all, as progressBlock last saw them; both
    // leave out each body's first transport buffer, as the request's progress does. The bytes
    // sent never go back, and the total is complete before the first request starts. Main thread.
    [[nodiscard]] std::int64_t bytesSent() const;
    [[nodiscard]] std::int64_t bytesToSend() const;

    // Set before uploadFiles(); each may be unset.
    void setFileStartedBlock(RequestBlock block);
    // A request was answered, whatever the status: judging it is the caller's business.
    void setFileFinishedBlock(RequestBlock block);
    // A request failed without an answer: connection lost, timed out or cancelled.
    void setFileFailedBlock(RequestBlock block);
    void setQueueFinishedBlock(QueueBlock block);
    void setProgressBlock(ProgressBlock block);
    void setCompressionBlock(CompressionBlock block);
    // Where the deflateData() form of a file may already wait under the file's name (the sync's
    // fingerprinting leaves it there), so that it is sent without compressing the file again; it
    // must stay until the queue has finished. Empty, the default: every file is compressed.
    void setDeflatedDirectory(std::string directory);
    // Caps the sending rate of the whole upload (bytes per second; 0, the default: no cap); the
    // parts in flight share it.
    void setMaxSendBytesPerSecond(std::uint64_t bytesPerSecond);
    // How many part requests may be under way at once (kDefaultPartsInFlight; 0 counts as 1). With
    // 1 the parts go one after another, in list order.
    void setMaxPartsInFlight(std::size_t count);
    // Which failed attempts of a part are made again, and when; the default makes none.
    void setRetryPolicy(RetryPolicy policy);
    void setRetryBlock(RetryBlock block);
    // Called on the preparation's thread for each file that had to be compressed, since nothing
    // was waiting for it in the deflated directory, before its compressionBlock call.
    void setCompressedBlock(CompressedBlock block);
    // Called on the main thread when the preparation stops on a file, before queueFinishedBlock.
    void setPreparationFailedBlock(FailedBlock block);

private:
    struct Part;
    struct Batch;

    explicit ACMultiFileUploader(WorkArea workArea);

    // Worker thread.
    void prepare(const std::shared_ptr<Batch>& batch);
    // The part batch.names[index] with its deflated form staged; nothing, with `error` filled, when
    // the file cannot be read, compressed or staged.
    [[nodiscard]] std::optional<Part> preparePart(const Batch& batch, std::size_t index,
                                                  const std::string& stagingDirectory, Error* error);
    [[nodiscard]] std::shared_ptr<HTTPRequest> partRequest(const Batch& batch, const Part& part);
    // Reports `error` and ends the upload, on the main thread.
    void failPreparation(const std::shared_ptr<Batch>& batch, Error error);
    // Main thread.
    void go(std::shared_ptr<Batch> batch);
    // The part whose current request `request` is; null for any other request.
    [[nodiscard]] Part* partOf(const HTTPRequest& request);
    // Hands the last part to the queue once every other part has succeeded.
    void releaseLastPart();
    // Whether the part's failed attempt `request` is to be made again; if so, the wait has begun.
    [[nodiscard]] bool retryLater(Part& part, HTTPRequest& request);
    // Sends the part again, unless the batch stopped while it waited.
    void retryPart(std::size_t index);
    // Cancels every request under way; the last part, if held back, is never sent.
    void stop();
    // Ends the upload once nothing is under way and the batch has succeeded or stopped.
    void endIfDone();
    // progressBlock with what is shown now.
    void reportProgress();
    void finishUpload(NetworkQueue& queue);
    static void cancelRequests(NetworkQueue& queue);

    // NetworkQueueDelegate and ProgressReceiver (of each request): main thread.
    void requestStarted(HTTPRequest& request) override;
    void requestFinished(HTTPRequest& request) override;
    void requestFailed(HTTPRequest& request) override;
    void requestDidSendBytes(HTTPRequest& request, std::int64_t bytes) override;
    void requestIncrementUploadSizeBy(HTTPRequest& request, std::int64_t bytes) override;
    void reportRequest(RequestBlock ACMultiFileUploader::*block, HTTPRequest& request);

    const WorkArea workArea_;
    mutable std::mutex mutex_;
    RequestBlock fileStartedBlock_;
    RequestBlock fileFinishedBlock_;
    RequestBlock fileFailedBlock_;
    QueueBlock queueFinishedBlock_;
    ProgressBlock progressBlock_;
    CompressionBlock compressionBlock_;
    CompressedBlock compressedBlock_;
    RetryBlock retryBlock_;
    RetryPolicy retryPolicy_;
    FailedBlock preparationFailedBlock_;
    std::shared_ptr<NetworkQueue> active_;
    std::shared_ptr<ACMultiFileUploader> self_;
    std::string stagingDirectory_;
    std::string deflatedDirectory_;
    std::uint64_t maxSendBytesPerSecond_ = 0;
    std::size_t maxPartsInFlight_ = kDefaultPartsInFlight;
    bool cancelled_ = false;
    // The preparation is over and the queue runs: cancelling now is the main thread's business.
    bool going_ = false;

    // Main thread only, from go() until the upload has finished.
    std::shared_ptr<Batch> batch_;
};

}  // namespace tomely
