#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <variant>

#include "http/CallFailure.h"
#include "http/RetryPolicy.h"
#include "platform/Error.h"
#include "shelf/ShelfClient.h"
#include "shelf/UploadTarget.h"
#include "support/WorkArea.h"
#include "upload/SyncManifest.h"

namespace tomely {

class ACFileSHA1;
class ACFileSplit;
class ACMultiFileUploader;
class FingerprintMemo;
class HTTPRequest;

// The stages of a sync, in order; Compressing and Uploading only come when the service asks for
// part files.
enum class BookSyncStage {
    Splitting,    // cutting every file of the Working directory into part files
    Hashing,      // fingerprinting the part files
    Comparing,    // the manifest call: which part files does the service lack?
    Compressing,  // preparing the uploads
    Uploading,    // sending them
};

enum class BookSyncResult { Succeeded, Failed, Cancelled };

// Why a sync failed, and in which stage: a call, or a local error.
//   - The manifest call (Comparing) or a part upload (Uploading) got no answer, or one outside
//     200-299; or the manifest's 2xx answer cannot be followed, and the call's `error` says why.
//   - Splitting, fingerprinting or preparing the uploads (Splitting, Hashing or Compressing) failed
//     on this machine, a full disk say; the Error names the file and the system's reason.
struct BookSyncFailure {
    BookSyncStage stage = BookSyncStage::Comparing;
    std::variant<CallFailure, Error> cause;
};

// The manifest call or a part upload failed for a reason that may pass (RetryPolicy); it is made
// again once `delay` has passed, as attempt `attempt` of `attempts`.
struct BookSyncRetry {
    // Why the attempt failed, as a failure would say it (stage Comparing or Uploading, a
    // CallFailure).
    BookSyncFailure failure;
    int attempt = 0;
    int attempts = 0;
    std::chrono::milliseconds delay{0};
};

// Publishes the book in the Working directory of a WorkArea to the service as an incremental
// sync: splits every file into part files, fingerprints them, posts the manifest
// (ShelfClient::postManifest), uploads exactly the part files the service asks for, deletes the
// work area and reports the end. It knows nothing of windows or words: the PublishSession runs
// it as the last stage of its chain and tells its front ends what it reports.
//
// Fingerprints are remembered across runs in the FingerprintMemo of the caches directory, so a
// part seen before is not compressed to learn its fingerprint. The compressed form of each part
// that is compressed for its fingerprint is kept (in the work area's deflated directory, beside
// the Working directory) and sent as it is; a part whose fingerprint came from the memo is
// compressed only when the service asks for it. So no part is compressed twice. A part compressed
// for its upload whose fingerprint is not the one the memo gave drops the memo.
//
// An empty Working directory posts an empty manifest; the service's answer decides what follows.
// An answer that is not a list of offered names is not followed and fails the sync (see
// namesToSend). Every file the chain cannot read or write (a part, a kept compressed form, the
// memo) fails it too, as a local failure: nothing partial is ever reported as a success. The first
// failure, and only that one, is reported; a failing part stops the upload (ACMultiFileUploader).
//
// Threads: start() and cancel() on the main thread; every block runs there, the ones of the
// worker stages posted from their queues. Ownership: the sync keeps itself alive from start()
// until finishedBlock has returned, after which it releases its blocks.
class BookSync : public std::enable_shared_from_this<BookSync> {
public:
    // A stage has begun.
    using StageBlock = std::function<void(BookSyncStage stage)>;
    // Progress of Splitting, Hashing or Compressing, counted in files.
    using CountBlock = std::function<void(BookSyncStage stage, std::uint64_t done, std::uint64_t total)>;
    // Progress of Uploading: the fraction of all request bodies sent, and the bytes behind it.
    using UploadProgressBlock = std::function<void(double fraction, std::int64_t bytesSent, std::int64_t bytesTotal)>;
    // Fingerprinting is done: the number of part files and the bytes of their compressed forms,
    // which is what an upload of every one of them would send.
    using FingerprintedBlock = std::function<void(std::uint64_t parts, std::uint64_t deflatedBytes)>;
    using FailureBlock = std::function<void(const BookSyncFailure& failure)>;
    // A call is to be made again after a wait; the sync (and the other parts) go on meanwhile.
    using RetryingBlock = std::function<void(const BookSyncRetry& retry)>;
    // The end, exactly once, after the work area has been deleted.
    using FinishedBlock = std::function<void(BookSyncResult result)>;

    // Syncs the book `bookGuid` in `workArea` to `target`, calling the service through `client`.
    [[nodiscard]] static std::shared_ptr<BookSync> create(ShelfClient client, WorkArea workArea, std::string bookGuid,
                                                          UploadTarget target);

    // Set before start().
    void setStageBlock(StageBlock block) { stageBlock_ = std::move(block); }
    void setCountBlock(CountBlock block) { countBlock_ = std::move(block); }
    void setUploadProgressBlock(UploadProgressBlock block) { uploadProgressBlock_ = std::move(block); }
    void setFingerprintedBlock(FingerprintedBlock block) { fingerprintedBlock_ = std::move(block); }
    void setFailureBlock(FailureBlock block) { failureBlock_ = std::move(block); }
    // Ends the sync as Succeeded once the book is fingerprinted, before the manifest: posting it
    // can already publish the book, so a rehearsal stops short of it.
    void setStopsBeforeManifest(bool stops) { stopsBeforeManifest_ = stops; }
    // Caps the upload's sending rate in bytes per second (0, the default: no cap).
    void setMaxSendBytesPerSecond(std::uint64_t bytesPerSecond) { maxSendBytesPerSecond_ = bytesPerSecond; }
    // How many parts may be on their way at once (ACMultiFileUploader::kDefaultPartsInFlight); 1
    // sends them one after another.
    void setMaxPartsInFlight(std::size_t count) { maxPartsInFlight_ = count; }
    // Which failed manifest calls and part uploads are made again, and when; the default,
    // RetryPolicy(0), makes none, and RetryPolicy(RetryPolicy::kRecommendedRetries) is what the
    // author is offered. Only when a call's retries are spent is its failure reported.
    void setRetryPolicy(RetryPolicy policy) { retryPolicy_ = std::move(policy); }
    void setRetryingBlock(RetryingBlock block) { retryingBlock_ = std::move(block); }
    void setFinishedBlock(FinishedBlock block) { finishedBlock_ = std::move(block); }

    void start();
    // Ends the sync as Cancelled without a failure report: the manifest call or the uploads are
    // cancelled at once, splitting and hashing before their next part.
    void cancel();
    // Whether a failure has been reported.
    [[nodiscard]] bool hasFailed() const { return hasFailed_; }

private:
    BookSync(ShelfClient client, WorkArea workArea, std::string bookGuid, UploadTarget target);

    void enter(BookSyncStage stage);
    // Runs `step` on the main thread; for the worker stages' reports.
    void onMainThread(std::function<void(BookSync&)> step);
    void postCount(BookSyncStage stage, std::uint64_t done, std::uint64_t total);
    void hashBook();
    void fingerprinted(KeyedFingerprints fingerprints, std::uint64_t deflatedBytes);
    void compareLocalAndRemoteBook(KeyedFingerprints fingerprints);
    void manifestAnswered(ManifestResult answer);
    void uploadFiles(std::vector<std::string> names);
    void partFailed(HTTPRequest& request);
    void retrying(BookSyncStage stage, const CallFailure& failure, const RetryPolicy::Retry& retry);
    void uploadProgress(const ACMultiFileUploader& uploader, double fraction);
    void fail(BookSyncStage stage, std::variant<CallFailure, Error> cause);
    // Ends the sync after a worker stage stopped with `error`: Cancelled when it was cancelled,
    // else Failed with a local failure.
    void stageFailed(BookSyncStage stage, const Error& error);
    // Keeps the compressed form of a part under its manifest key, for its upload.
    bool keepDeflated(const std::string& path, std::span<const std::uint8_t> deflated, Error* error) const;
    void finish(BookSyncResult result);

    const ShelfClient client_;
    const WorkArea workArea_;
    const std::string bookGuid_;
    const UploadTarget target_;
    StageBlock stageBlock_;
    CountBlock countBlock_;
    UploadProgressBlock uploadProgressBlock_;
    FingerprintedBlock fingerprintedBlock_;
    FailureBlock failureBlock_;
    RetryingBlock retryingBlock_;
    FinishedBlock finishedBlock_;
    bool stopsBeforeManifest_ = false;
    std::uint64_t maxSendBytesPerSecond_ = 0;
    std::size_t maxPartsInFlight_;
    RetryPolicy retryPolicy_;

    // Main thread only.
    std::shared_ptr<BookSync> self_;
    KeyedFingerprints offered_;
    std::optional<ShelfCall> manifestCall_;
    std::shared_ptr<ACFileSplit> splitter_;
    std::shared_ptr<ACFileSHA1> hasher_;
    std::shared_ptr<ACMultiFileUploader> uploader_;
    std::shared_ptr<FingerprintMemo> memo_;
    bool uploading_ = false;
    bool hasFailed_ = false;
    bool cancelled_ = false;
    bool finished_ = false;
};

}  // namespace tomely
