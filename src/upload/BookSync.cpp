#include "upload/BookSync.h"

#include <filesystem>

#include "http/ServiceAPI.h"
#include "platform/FileIO.h"
#include "platform/MainLoop.h"
#include "platform/PosixError.h"
#include "support/DeepDirectoryListing.h"
#include "upload/ACFileSHA1.h"
#include "upload/ACFileSplit.h"
#include "upload/ACMultiFileUploader.h"
#include "upload/FingerprintMemo.h"

namespace tomely {

std::shared_ptr<BookSync> BookSync::create(ShelfClient client, WorkArea workArea, std::string bookGuid,
                                           UploadTarget target) {
    return std::shared_ptr<BookSync>(
        new BookSync(std::move(client), std::move(workArea), std::move(bookGuid), std::move(target)));
}

BookSync::BookSync(ShelfClient client, WorkArea workArea, std::string bookGuid, UploadTarget target)
    : client_(std::move(client)),
      workArea_(std::move(workArea)),
      bookGuid_(std::move(bookGuid)),
      target_(std::move(target)),
      maxPartsInFlight_(ACMultiFileUploader::kDefaultPartsInFlight) {}

void BookSync::enter(BookSyncStage stage) {
    if (stageBlock_) {
        stageBlock_(stage);
    }
}

void BookSync::onMainThread(std::function<void(BookSync&)> step) {
    MainLoop::shared()->post([self = shared_from_this(), step = std::move(step)] { step(*self); });
}

void BookSync::postCount(BookSyncStage stage, std::uint64_t done, std::uint64_t total) {
    onMainThread([stage, done, total](BookSync& sync) {
        if (sync.countBlock_) {
            sync.countBlock_(stage, done, total);
        }
    });
}

void BookSync::start() {
    self_ = shared_from_this();
    // Left by a run that never finished: bytes whose fingerprint nobody knows any more.
    std::error_code ignored;
    std::filesystem::remove_all(workArea_.deflated(), ignored);
    enter(BookSyncStage::Splitting);
    auto splitter = ACFileSplit::create();
    splitter->setKeepOriginalFile(false);
    splitter->setMaxBytes(ACFileSplit::kDefaultMaxBytes);
    splitter->setProgressBlock([self = shared_from_this()](ACFileSplit&, std::uint64_t done, std::uint64_t total) {
        self->postCount(BookSyncStage::Splitting, done, total);
    });
    splitter->setCompleteBlock(
        [self = shared_from_this()](ACFileSplit&) { self->onMainThread([](BookSync& sync) { sync.hashBook(); }); });
    splitter->setFailedBlock([self = shared_from_this()](ACFileSplit&, const Error& error) {
        self->onMainThread([error](BookSync& sync) { sync.stageFailed(BookSyncStage::Splitting, error); });
    });
    splitter_ = splitter;
    // An empty list completes at once, so an empty Working directory goes on to an empty manifest.
    splitter->splitFiles(deepDirectoryContents(workArea_.working()));
}

void BookSync::hashBook() {
    splitter_.reset();
    if (cancelled_) {
        finish(BookSyncResult::Cancelled);
        return;
    }
    enter(BookSyncStage::Hashing);
    auto hasher = ACFileSHA1::create();
    hasher_ = hasher;
    memo_ = FingerprintMemo::inCachesDirectory();
    hasher->setMemo(memo_);
    hasher->setProgressBlock([self = shared_from_this()](ACFileSHA1&, std::uint64_t done, std::uint64_t total) {
        self->postCount(BookSyncStage::Hashing, done, total);
    });
    hasher->setCompleteBlock([self = shared_from_this()](ACFileSHA1&, const ACFileSHA1::Fingerprints& byPath) {
        KeyedFingerprints byKey;
        // From the fingerprints rather than from what was compressed: a part the memo knew was not.
        std::uint64_t deflatedBytes = 0;
        for (const auto& [path, fingerprint] : byPath) {
            byKey.emplace(manifestKey(path, self->workArea_.working()), fingerprint);
            deflatedBytes += ACFileSHA1::deflatedLength(fingerprint).value_or(0);
        }
        self->onMainThread([byKey = std::move(byKey), deflatedBytes](BookSync& sync) mutable {
            sync.fingerprinted(std::move(byKey), deflatedBytes);
        });
    });
    hasher->setFailedBlock([self = shared_from_this()](ACFileSHA1&, const Error& error) {
        self->onMainThread([error](BookSync& sync) { sync.stageFailed(BookSyncStage::Hashing, error); });
    });
    // What is fingerprinted is what the upload sends: kept, it need not be compressed twice.
    hasher->setDeflatedBlock([self = shared_from_this()](ACFileSHA1&, const std::string& path,
                                                         std::span<const std::uint8_t> deflated, Error* error) {
        return self->stopsBeforeManifest_ || self->keepDeflated(path, deflated, error);
    });
    // Only part files are left now.
    hasher->hashFiles(deepDirectoryContents(workArea_.working()));
}

bool BookSync::keepDeflated(const std::string& path, std::span<const std::uint8_t> deflated, Error* error) const {
    const std::string kept = workArea_.deflated() + manifestKey(path, workArea_.working());
    const std::filesystem::path directory = std::filesystem::path(kept).parent_path();
    std::error_code failure;
    std::filesystem::create_directories(directory, failure);
    if (failure) {
        report(error, posixError(failure.value(), "Could not create the directory \"" + directory.string() + "\""));
        return false;
    }
    Error written;
    if (!writeFileAtomically(kept, deflated, &written)) {
        report(error, posixError(static_cast<int>(written.code), "Could not write \"" + kept + "\""));
        return false;
    }
    return true;
}

void BookSync::stageFailed(BookSyncStage stage, const Error& error) {
    if (cancelled_) {
        finish(BookSyncResult::Cancelled);
        return;
    }
    fail(stage, error);
    finish(BookSyncResult::Failed);
}

void BookSync::fingerprinted(KeyedFingerprints fingerprints, std::uint64_t deflatedBytes) {
    hasher_.reset();
    if (fingerprintedBlock_) {
        fingerprintedBlock_(fingerprints.size(), deflatedBytes);
    }
    if (stopsBeforeManifest_ && !cancelled_) {
        finish(BookSyncResult::Succeeded);
        return;
    }
    compareLocalAndRemoteBook(std::move(fingerprints));
}

void BookSync::compareLocalAndRemoteBook(KeyedFingerprints fingerprints) {
    if (cancelled_) {
        finish(BookSyncResult::Cancelled);
        return;
    }
    const std::string text = manifestText(fingerprints, bookGuid_, target_);
    offered_ = std::move(fingerprints);
    const std::weak_ptr<BookSync> weak = weak_from_this();
    manifestCall_ = client_.postManifest(
        bookGuid_, text,
        [self = shared_from_this()](ManifestResult answer) { self->manifestAnswered(std::move(answer)); },
        {retryPolicy_, [weak](const CallFailure& failure, const RetryPolicy::Retry& retry) {
             if (auto self = weak.lock()) {
                 self->retrying(BookSyncStage::Comparing, failure, retry);
             }
         }});
    // Reported once the request runs, so that a cancel from this report reaches it.
    enter(BookSyncStage::Comparing);
}

void BookSync::manifestAnswered(ManifestResult answer) {
    manifestCall_.reset();
    if (cancelled_) {
        finish(BookSyncResult::Cancelled);
        return;
    }
    if (auto* failure = std::get_if<CallFailure>(&answer)) {
        fail(BookSyncStage::Comparing, std::move(*failure));
        finish(BookSyncResult::Failed);
        return;
    }
    auto& decoded = std::get<JSONAnswer>(answer);
    Error unusable;
    std::optional<std::vector<std::string>> names = namesToSend(decoded.body, offered_, &unusable);
    if (!names) {
        fail(BookSyncStage::Comparing, decoded.refusal(std::move(unusable)));
        finish(BookSyncResult::Failed);
        return;
    }
    if (names->empty()) {
        finish(BookSyncResult::Succeeded);
        return;
    }
    uploadFiles(std::move(*names));
}

void BookSync::uploadFiles(std::vector<std::string> names) {
    uploader_ = ACMultiFileUploader::create(workArea_);
    uploader_->setDeflatedDirectory(workArea_.deflated());
    uploader_->setMaxSendBytesPerSecond(maxSendBytesPerSecond_);
    uploader_->setMaxPartsInFlight(maxPartsInFlight_);
    uploader_->setRetryPolicy(retryPolicy_);
    // Only parts whose fingerprint came from the memo are compressed here: their bytes must say
    // what the memo said, or it is wrong.
    uploader_->setCompressedBlock([memo = memo_, offered = offered_](ACMultiFileUploader&, const std::string& name,
                                                                     std::span<const std::uint8_t> deflated) {
        const auto fingerprint = offered.find(name);
        if (memo && fingerprint != offered.end() &&
            fingerprint->second != ACFileSHA1::fingerprintOfDeflated(deflated)) {
            memo->drop("a part compressed for its upload differs from the fingerprint it gave");
        }
    });
    const std::weak_ptr<BookSync> weak = weak_from_this();
    uploader_->setCompressionBlock([weak](ACMultiFileUploader&, std::uint64_t done, std::uint64_t total) {
        if (auto self = weak.lock()) {
            self->postCount(BookSyncStage::Compressing, done, total);
        }
    });
    uploader_->setFileFinishedBlock([weak](ACMultiFileUploader&, NetworkQueue&, HTTPRequest& request) {
        auto self = weak.lock();
        if (self && !ServiceAPI::isSuccessStatus(request.responseStatusCode())) {
            self->partFailed(request);
        }
    });
    // A request that failed did so whatever status it may have read before.
    uploader_->setFileFailedBlock([weak](ACMultiFileUploader&, NetworkQueue&, HTTPRequest& request) {
        if (auto self = weak.lock()) {
            self->partFailed(request);
        }
    });
    uploader_->setPreparationFailedBlock([weak](ACMultiFileUploader&, const Error& error) {
        auto self = weak.lock();
        if (self && !self->hasFailed_ && !self->cancelled_) {
            self->fail(BookSyncStage::Compressing, error);
        }
    });
    uploader_->setRetryBlock([weak](ACMultiFileUploader&, HTTPRequest& request, const RetryPolicy::Retry& retry) {
        if (auto self = weak.lock()) {
            self->retrying(BookSyncStage::Uploading, CallFailure::of(request), retry);
        }
    });
    uploader_->setProgressBlock([weak](ACMultiFileUploader& uploader, NetworkQueue&, double fraction) {
        if (auto self = weak.lock()) {
            self->uploadProgress(uploader, fraction);
        }
    });
    uploader_->setQueueFinishedBlock([weak](ACMultiFileUploader&, NetworkQueue&) {
        if (auto self = weak.lock()) {
            self->finish(self->hasFailed_   ? BookSyncResult::Failed
                         : self->cancelled_ ? BookSyncResult::Cancelled
                                            : BookSyncResult::Succeeded);
        }
    });
    uploader_->uploadFiles(std::move(names), bookGuid_, uploadParameters(target_));
    // The compression counts are posted from the uploader's worker, so they come after this.
    enter(BookSyncStage::Compressing);
}

// The uploader has stopped the upload by now; the parts it cancels report here too.
void BookSync::partFailed(HTTPRequest& request) {
    if (!hasFailed_ && !cancelled_) {
        fail(BookSyncStage::Uploading, CallFailure::of(request));
    }
}

void BookSync::retrying(BookSyncStage stage, const CallFailure& failure, const RetryPolicy::Retry& retry) {
    if (retryingBlock_ && !hasFailed_ && !cancelled_) {
        retryingBlock_(BookSyncRetry{{stage, failure}, retry.attempt, retry.attempts, retry.delay});
    }
}

void BookSync::uploadProgress(const ACMultiFileUploader& uploader, double fraction) {
    if (!uploading_) {
        uploading_ = true;
        enter(BookSyncStage::Uploading);
    }
    if (uploadProgressBlock_) {
        uploadProgressBlock_(fraction, uploader.bytesSent(), uploader.bytesToSend());
    }
}

void BookSync::fail(BookSyncStage stage, std::variant<CallFailure, Error> cause) {
    hasFailed_ = true;
    if (failureBlock_) {
        failureBlock_(BookSyncFailure{stage, std::move(cause)});
    }
}

void BookSync::cancel() {
    if (!self_ || cancelled_) {
        return;
    }
    cancelled_ = true;
    if (splitter_) {
        splitter_->cancel();
    }
    if (hasher_) {
        hasher_->cancel();
    }
    if (manifestCall_) {
        manifestCall_->cancel();
    }
    if (uploader_) {
        uploader_->cancel();
    }
}

void BookSync::finish(BookSyncResult result) {
    if (finished_) {
        return;
    }
    finished_ = true;
    std::error_code ignored;
    std::filesystem::remove_all(workArea_.root(), ignored);
    if (finishedBlock_) {
        finishedBlock_(result);
    }
    // Blocks may hold whoever holds this sync; the last reference may be self_.
    stageBlock_ = nullptr;
    countBlock_ = nullptr;
    uploadProgressBlock_ = nullptr;
    fingerprintedBlock_ = nullptr;
    failureBlock_ = nullptr;
    retryingBlock_ = nullptr;
    finishedBlock_ = nullptr;
    uploader_.reset();
    splitter_.reset();
    hasher_.reset();
    memo_.reset();
    const std::shared_ptr<BookSync> keepUntilReturn = std::move(self_);
}

}  // namespace tomely
