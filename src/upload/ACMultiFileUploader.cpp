#include "upload/ACMultiFileUploader.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <utility>

#include "http/FormDataRequest.h"
#include "http/ServiceAPI.h"
#include "platform/CRC32.h"
#include "platform/FileIO.h"
#include "platform/MainLoop.h"
#include "platform/PosixError.h"
#include "platform/SerialQueue.h"
#include "upload/DeflateData.h"

namespace tomely {
namespace {

constexpr std::string_view kOctetStream = "application/octet-stream";

// The staging directory of `workArea`, made anew; "" with `error` filled when it cannot be made.
std::string makeStagingDirectory(const WorkArea& workArea, Error* error) {
    std::error_code failure;
    std::filesystem::remove_all(workArea.staging(), failure);
    std::filesystem::create_directories(workArea.staging(), failure);
    if (failure) {
        report(error, posixError(failure.value(), "Could not create the directory \"" + workArea.staging() + "\""));
        return {};
    }
    return workArea.staging();
}

}  // namespace

// One file of the batch as it is sent: what its fields say and where its deflated form waits.
struct ACMultiFileUploader::Part {
    std::string name;
    // Its "batchCurrent".
    std::size_t index = 0;
    // Size and CRC-32 of the file as stored.
    std::uint64_t size = 0;
    std::uint32_t crc = 0;
    // Where its deflated form waits.
    std::string deflatedPath;
    std::shared_ptr<HTTPRequest> request;
    // Of `request`, from 1.
    int attempt = 1;
    bool waitingToRetry = false;
    // Of its request, as the request's progress tells them.
    std::int64_t bytesToSend = 0;
    std::int64_t bytesSent = 0;
    bool succeeded = false;
};

struct ACMultiFileUploader::Batch {
    std::vector<std::string> names;
    Parameters parameters;
    URL url;
    std::shared_ptr<NetworkQueue> queue;
    std::string deflatedDirectory;
    // Of each request: together they stay within the upload's cap.
    std::uint64_t maxSendBytesPerSecond = 0;
    RetryPolicy retryPolicy;

    // Filled by the preparation, in list order; then main thread only.
    std::vector<Part> parts;
    // Main thread only.
    bool lastPartHeld = false;
    bool stopped = false;
    bool ended = false;
    std::size_t partsSucceeded = 0;
    // Handed to the queue and not yet reported.
    std::size_t requestsUnderWay = 0;
    std::size_t partsWaitingToRetry = 0;
    std::int64_t bytesSent = 0;
    std::int64_t bytesToSend = 0;
    double fractionShown = 0;
    std::int64_t bytesSentShown = 0;

    [[nodiscard]] bool isLast(const Part& part) const { return part.index + 1 == names.size(); }
};

std::shared_ptr<ACMultiFileUploader> ACMultiFileUploader::create(WorkArea workArea) {
    return std::shared_ptr<ACMultiFileUploader>(new ACMultiFileUploader(std::move(workArea)));
}

ACMultiFileUploader::ACMultiFileUploader(WorkArea workArea) : workArea_(std::move(workArea)) {}

void ACMultiFileUploader::uploadFiles(std::vector<std::string> names, std::string bookGuid, Parameters parameters) {
    std::shared_ptr<NetworkQueue> queue = NetworkQueue::queue();
    std::string deflatedDirectory;
    std::uint64_t maxSendBytesPerSecond = 0;
    std::size_t partsInFlight = 1;
    RetryPolicy retryPolicy;
    {
        // Held from the call, not only while the queue runs: a second batch started during the
        // preparation would otherwise take over the first one's queue.
        std::scoped_lock lock(mutex_);
        if (active_) {
            throw UploadInProgress();
        }
        active_ = queue;
        self_ = shared_from_this();
        cancelled_ = false;
        going_ = false;
        deflatedDirectory = deflatedDirectory_;
        maxSendBytesPerSecond = maxSendBytesPerSecond_;
        partsInFlight = std::max<std::size_t>(maxPartsInFlight_, 1);
        retryPolicy = retryPolicy_;
    }
    queue->setShowAccurateProgress(true);
    queue->setMaxConcurrentOperationCount(partsInFlight);
    // The uploader judges the answers and stops the batch itself, and ends it once nothing is
    // under way: a queue that ran dry says nothing about a part that is still to come.
    queue->setShouldCancelAllRequestsOnFailure(false);
    queue->setDelegate(
        std::shared_ptr<NetworkQueueDelegate>(shared_from_this(), static_cast<NetworkQueueDelegate*>(this)));
    queue->setRequestDidStartSelector(&NetworkQueueDelegate::requestStarted);
    queue->setRequestDidFinishSelector(&NetworkQueueDelegate::requestFinished);
    queue->setRequestDidFailSelector(&NetworkQueueDelegate::requestFailed);
    auto batch = std::make_shared<Batch>();
    batch->names = std::move(names);
    batch->parameters = std::move(parameters);
    batch->url = ServiceAPI::uploadURL(bookGuid);
    batch->queue = std::move(queue);
    batch->deflatedDirectory = std::move(deflatedDirectory);
    batch->maxSendBytesPerSecond =
        maxSendBytesPerSecond == 0 ? 0 : std::max<std::uint64_t>(maxSendBytesPerSecond / partsInFlight, 1);
    batch->retryPolicy = std::move(retryPolicy);
    SerialQueue::create("ACMultiFileUploader")->addOperation([self = shared_from_this(), batch] {
        self->prepare(batch);
    });
}

void ACMultiFileUploader::prepare(const std::shared_ptr<Batch>& batch) {
    Error failure;
    const std::string stagingDirectory = makeStagingDirectory(workArea_, &failure);
    {
        std::scoped_lock lock(mutex_);
        stagingDirectory_ = stagingDirectory;
    }
    if (stagingDirectory.empty()) {
        failPreparation(batch, std::move(failure));
        return;
    }
    const std::uint64_t filesInList = batch->names.size();
    for (std::size_t index = 0; index < batch->names.size(); ++index) {
        {
            std::scoped_lock lock(mutex_);
            if (cancelled_) {
                break;
            }
        }
        std::optional<Part> part = preparePart(*batch, index, stagingDirectory, &failure);
        if (!part) {
            failPreparation(batch, std::move(failure));
            return;
        }
        part->request = partRequest(*batch, *part);
        if (batch->isLast(*part)) {
            // Held back; its body is built all the same, so that its length counts from the start.
            batch->lastPartHeld = true;
        } else {
            batch->queue->addOperation(part->request);
            ++batch->requestsUnderWay;
        }
        part->bytesToSend = static_cast<std::int64_t>(part->request->postLength());
        batch->bytesToSend += part->bytesToSend;
        batch->parts.push_back(std::move(*part));
        std::unique_lock lock(mutex_);
        if (CompressionBlock compression = compressionBlock_) {
            lock.unlock();
            compression(*this, index + 1, filesInList);
        }
    }
    // Started on the main thread, where cancel() and every answer are handled: a cancel can then
    // end the upload only after its requests were started, never while this thread still adds
    // them.
    MainLoop::shared()->post([self = shared_from_this(), batch] { self->go(batch); });
}

void ACMultiFileUploader::failPreparation(const std::shared_ptr<Batch>& batch, Error error) {
    // The queue never started: nothing of it is sent, and no request will report its end.
    MainLoop::shared()->post([self = shared_from_this(), queue = batch->queue, error = std::move(error)] {
        std::unique_lock lock(self->mutex_);
        const FailedBlock failed = self->preparationFailedBlock_;
        lock.unlock();
        if (failed) {
            failed(*self, error);
        }
        self->finishUpload(*queue);
        // Lets go of the requests prepared before the failure, which would otherwise wait for ever.
        queue->reset();
    });
}

std::optional<ACMultiFileUploader::Part> ACMultiFileUploader::preparePart(const Batch& batch, std::size_t index,
                                                                          const std::string& stagingDirectory,
                                                                          Error* error) {
    Part part;
    part.name = batch.names[index];
    part.index = index;
    const std::string path = workArea_.working() + part.name;
    Error failure;
    const std::optional<std::vector<std::uint8_t>> contents = readWholeFile(path, &failure);
    if (!contents) {
        report(error, posixError(static_cast<int>(failure.code), "Could not read \"" + path + "\""));
        return std::nullopt;
    }
    part.size = contents->size();
    part.crc = CRC32Value(*contents);
    part.deflatedPath = batch.deflatedDirectory.empty() ? "" : batch.deflatedDirectory + part.name;
    std::error_code noFile;
    if (!part.deflatedPath.empty() && std::filesystem::is_regular_file(part.deflatedPath, noFile)) {
        return part;
    }
    const std::optional<std::vector<std::uint8_t>> deflated = deflateData(*contents);
    if (!deflated) {
        report(error, posixError(ENOMEM, "Could not compress \"" + path + "\""));
        return std::nullopt;
    }
    std::unique_lock lock(mutex_);
    if (const CompressedBlock compressed = compressedBlock_) {
        lock.unlock();
        compressed(*this, part.name, *deflated);
    }
    part.deflatedPath = stagingDirectory + "/part-" + std::to_string(index);
    if (!writeFileAtomically(part.deflatedPath, *deflated, &failure)) {
        report(error, posixError(static_cast<int>(failure.code), "Could not write \"" + part.deflatedPath + "\""));
        return std::nullopt;
    }
    return part;
}

std::shared_ptr<HTTPRequest> ACMultiFileUploader::partRequest(const Batch& batch, const Part& part) {
    auto request = FormDataRequest::requestWithURL(batch.url);
    request->setPostFormat(FormDataRequest::MultipartFormDataPostFormat);
    request->setShouldCompressRequestBody(false);
    request->setMaxSendBytesPerSecond(batch.maxSendBytesPerSecond);
    request->setFile(part.deflatedPath, "file", kOctetStream, "file");
    request->setPostValue(part.name, "name");
    request->setPostValue(true, "isZipped");
    request->setPostValue(true, "isBatch");
    request->setPostValue(batch.names.size() - 1, "batchTotal");
    request->setPostValue(part.index, "batchCurrent");
    request->setPostValue(part.size, "size");
    request->setPostValue(part.crc, "crc");
    for (const auto& [key, value] : batch.parameters) {
        request->setPostValue(value, key);
    }
    // Which part a report is about.
    request->setTag(static_cast<long>(part.index));
    request->setUploadProgressDelegate(
        std::shared_ptr<ProgressReceiver>(shared_from_this(), static_cast<ProgressReceiver*>(this)));
    // A post goes on a connection of its own by default, lest it be sent twice; a part may be, the
    // service keeps one copy of it, and a connection kept for the next part saves a round trip
    // (and a TLS handshake) per part. Set once the body is built, which turns it off.
    request->buildPostBody();
    request->setShouldAttemptPersistentConnection(true);
    return request;
}

void ACMultiFileUploader::go(std::shared_ptr<Batch> batch) {
    batch_ = std::move(batch);
    bool cancelled = false;
    {
        std::scoped_lock lock(mutex_);
        cancelled = cancelled_;
        going_ = !cancelled;
    }
    if (batch_->parts.empty()) {
        // No request will ever report the end.
        endIfDone();
        return;
    }
    batch_->queue->go();
    if (cancelled) {
        stop();
        endIfDone();
        return;
    }
    // The total is complete: every body has been built.
    reportProgress();
    releaseLastPart();
}

ACMultiFileUploader::Part* ACMultiFileUploader::partOf(const HTTPRequest& request) {
    if (!batch_ || request.tag() < 0 || static_cast<std::size_t>(request.tag()) >= batch_->parts.size()) {
        return nullptr;
    }
    Part& part = batch_->parts[static_cast<std::size_t>(request.tag())];
    return part.request.get() == &request ? &part : nullptr;
}

void ACMultiFileUploader::releaseLastPart() {
    Batch& batch = *batch_;
    if (!batch.lastPartHeld || batch.stopped || batch.partsSucceeded + 1 != batch.names.size()) {
        return;
    }
    batch.lastPartHeld = false;
    ++batch.requestsUnderWay;
    batch.queue->addOperation(batch.parts.back().request);
}

bool ACMultiFileUploader::retryLater(Part& part, HTTPRequest& request) {
    Batch& batch = *batch_;
    const auto retry = batch.stopped ? std::nullopt : batch.retryPolicy.nextAttempt(part.attempt, request);
    if (!retry) {
        return false;
    }
    part.waitingToRetry = true;
    ++batch.partsWaitingToRetry;
    // What the attempt sent goes out again; what is shown stays until the count has caught up.
    batch.bytesSent -= part.bytesSent;
    part.bytesSent = 0;
    std::unique_lock lock(mutex_);
    const RetryBlock report = retryBlock_;
    lock.unlock();
    if (report) {
        report(*this, request, *retry);
    }
    batch.retryPolicy.wait(*retry,
                           [weak = weak_from_this(), waiting = std::weak_ptr<Batch>(batch_), index = part.index] {
                               const auto self = weak.lock();
                               if (self && self->batch_ && self->batch_ == waiting.lock()) {
                                   self->retryPart(index);
                               }
                           });
    return true;
}

void ACMultiFileUploader::retryPart(std::size_t index) {
    Batch& batch = *batch_;
    Part& part = batch.parts[index];
    if (!part.waitingToRetry) {
        return;
    }
    part.waitingToRetry = false;
    --batch.partsWaitingToRetry;
    ++part.attempt;
    part.request = partRequest(batch, part);
    const auto bytesToSend = static_cast<std::int64_t>(part.request->postLength());
    batch.bytesToSend += bytesToSend - part.bytesToSend;
    part.bytesToSend = bytesToSend;
    ++batch.requestsUnderWay;
    batch.queue->addOperation(part.request);
}

void ACMultiFileUploader::stop() {
    if (batch_->stopped) {
        return;
    }
    batch_->stopped = true;
    for (Part& part : batch_->parts) {
        part.waitingToRetry = false;
    }
    batch_->partsWaitingToRetry = 0;
    cancelRequests(*batch_->queue);
}

void ACMultiFileUploader::cancel() {
    {
        std::scoped_lock lock(mutex_);
        if (!active_ || cancelled_) {
            return;
        }
        cancelled_ = true;
        if (!going_) {
            // The preparation stops at the next file, and go() cancels what it added.
            return;
        }
    }
    stop();
    // Not from inside the caller's cancel: the end may release whoever called.
    MainLoop::shared()->post([self = shared_from_this()] { self->endIfDone(); });
}

void ACMultiFileUploader::cancelRequests(NetworkQueue& queue) {
    queue.cancelAllOperations();
    for (const auto& request : queue.operations()) {
        request->cancel();
    }
}

void ACMultiFileUploader::endIfDone() {
    if (!batch_ || batch_->ended || batch_->requestsUnderWay > 0 || batch_->partsWaitingToRetry > 0 ||
        (!batch_->stopped && batch_->partsSucceeded < batch_->parts.size())) {
        return;
    }
    batch_->ended = true;
    finishUpload(*batch_->queue);
}

std::shared_ptr<NetworkQueue> ACMultiFileUploader::active() const {
    std::scoped_lock lock(mutex_);
    return active_;
}

std::int64_t ACMultiFileUploader::bytesSent() const {
    return batch_ ? batch_->bytesSentShown : 0;
}

std::int64_t ACMultiFileUploader::bytesToSend() const {
    return batch_ ? batch_->bytesToSend : 0;
}

void ACMultiFileUploader::reportRequest(RequestBlock ACMultiFileUploader::*block, HTTPRequest& request) {
    std::unique_lock lock(mutex_);
    const RequestBlock report = this->*block;
    const std::shared_ptr<NetworkQueue> queue = active_;
    lock.unlock();
    if (report && queue) {
        report(*this, *queue, request);
    }
}

void ACMultiFileUploader::requestStarted(HTTPRequest& request) {
    reportRequest(&ACMultiFileUploader::fileStartedBlock_, request);
}

void ACMultiFileUploader::requestFinished(HTTPRequest& request) {
    Part* part = partOf(request);
    if (part == nullptr) {
        return;
    }
    --batch_->requestsUnderWay;
    if (ServiceAPI::isSuccessStatus(request.responseStatusCode())) {
        reportRequest(&ACMultiFileUploader::fileFinishedBlock_, request);
        part->succeeded = true;
        ++batch_->partsSucceeded;
        releaseLastPart();
    } else if (!retryLater(*part, request)) {
        reportRequest(&ACMultiFileUploader::fileFinishedBlock_, request);
        stop();
    }
    endIfDone();
}

void ACMultiFileUploader::requestFailed(HTTPRequest& request) {
    Part* part = partOf(request);
    if (part == nullptr) {
        return;
    }
    --batch_->requestsUnderWay;
    if (!retryLater(*part, request)) {
        reportRequest(&ACMultiFileUploader::fileFailedBlock_, request);
        stop();
    }
    endIfDone();
}

void ACMultiFileUploader::requestIncrementUploadSizeBy(HTTPRequest& request, std::int64_t bytes) {
    if (Part* part = partOf(request)) {
        part->bytesToSend += bytes;
        batch_->bytesToSend += bytes;
    }
}

void ACMultiFileUploader::requestDidSendBytes(HTTPRequest& request, std::int64_t bytes) {
    Part* part = partOf(request);
    if (part == nullptr || batch_->ended) {
        return;
    }
    Batch& batch = *batch_;
    part->bytesSent += bytes;
    batch.bytesSent += bytes;
    // A body sent again after a lost connection withdraws what it had sent; what is shown waits
    // until the count has caught up again, so it never goes back.
    batch.bytesSentShown = std::max(batch.bytesSentShown, std::min(batch.bytesSent, batch.bytesToSend));
    if (batch.bytesToSend > 0) {
        batch.fractionShown = std::max(
            batch.fractionShown, static_cast<double>(batch.bytesSent) / (static_cast<double>(batch.bytesToSend) * 1.0));
    }
    reportProgress();
}

void ACMultiFileUploader::reportProgress() {
    std::unique_lock lock(mutex_);
    const ProgressBlock progress = progressBlock_;
    lock.unlock();
    if (progress) {
        progress(*this, *batch_->queue, batch_->fractionShown);
    }
}

void ACMultiFileUploader::finishUpload(NetworkQueue& queue) {
    std::unique_lock lock(mutex_);
    const QueueBlock finished = queueFinishedBlock_;
    lock.unlock();
    if (finished) {
        finished(*this, queue);
    }
    std::shared_ptr<ACMultiFileUploader> keepUntilReturn;
    std::string stagingDirectory;
    lock.lock();
    stagingDirectory = std::exchange(stagingDirectory_, {});
    active_.reset();
    keepUntilReturn = std::move(self_);
    lock.unlock();
    batch_.reset();
    std::error_code ignored;
    std::filesystem::remove_all(stagingDirectory, ignored);
}

void ACMultiFileUploader::setFileStartedBlock(RequestBlock block) {
    std::scoped_lock lock(mutex_);
    fileStartedBlock_ = std::move(block);
}

void ACMultiFileUploader::setFileFinishedBlock(RequestBlock block) {
    std::scoped_lock lock(mutex_);
    fileFinishedBlock_ = std::move(block);
}

void ACMultiFileUploader::setFileFailedBlock(RequestBlock block) {
    std::scoped_lock lock(mutex_);
    fileFailedBlock_ = std::move(block);
}

void ACMultiFileUploader::setQueueFinishedBlock(QueueBlock block) {
    std::scoped_lock lock(mutex_);
    queueFinishedBlock_ = std::move(block);
}

void ACMultiFileUploader::setProgressBlock(ProgressBlock block) {
    std::scoped_lock lock(mutex_);
    progressBlock_ = std::move(block);
}

void ACMultiFileUploader::setCompressionBlock(CompressionBlock block) {
    std::scoped_lock lock(mutex_);
    compressionBlock_ = std::move(block);
}

void ACMultiFileUploader::setCompressedBlock(CompressedBlock block) {
    std::scoped_lock lock(mutex_);
    compressedBlock_ = std::move(block);
}

void ACMultiFileUploader::setPreparationFailedBlock(FailedBlock block) {
    std::scoped_lock lock(mutex_);
    preparationFailedBlock_ = std::move(block);
}

void ACMultiFileUploader::setDeflatedDirectory(std::string directory) {
    std::scoped_lock lock(mutex_);
    deflatedDirectory_ = std::move(directory);
}

void ACMultiFileUploader::setMaxSendBytesPerSecond(std::uint64_t bytesPerSecond) {
    std::scoped_lock lock(mutex_);
    maxSendBytesPerSecond_ = bytesPerSecond;
}

void ACMultiFileUploader::setMaxPartsInFlight(std::size_t count) {
    std::scoped_lock lock(mutex_);
    maxPartsInFlight_ = count;
}

void ACMultiFileUploader::setRetryPolicy(RetryPolicy policy) {
    std::scoped_lock lock(mutex_);
    retryPolicy_ = std::move(policy);
}

void ACMultiFileUploader::setRetryBlock(RetryBlock block) {
    std::scoped_lock lock(mutex_);
    retryBlock_ = std::move(block);
}

}  // namespace tomely
