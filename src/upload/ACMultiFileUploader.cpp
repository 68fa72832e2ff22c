#include "upload/ACMultiFileUploader.h"

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

struct ACMultiFileUploader::Batch {
    std::vector<std::string> names;
    Parameters parameters;
    URL url;
    std::shared_ptr<NetworkQueue> queue;
    std::string deflatedDirectory;
    std::uint64_t maxSendBytesPerSecond = 0;
};

std::shared_ptr<ACMultiFileUploader> ACMultiFileUploader::create(WorkArea workArea) {
    return std::shared_ptr<ACMultiFileUploader>(new ACMultiFileUploader(std::move(workArea)));
}

ACMultiFileUploader::ACMultiFileUploader(WorkArea workArea) : workArea_(std::move(workArea)) {}

void ACMultiFileUploader::uploadFiles(std::vector<std::string> names, std::string bookGuid, Parameters parameters) {
    std::shared_ptr<NetworkQueue> queue = NetworkQueue::queue();
    std::string deflatedDirectory;
    std::uint64_t maxSendBytesPerSecond = 0;
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
    }
    queue->setShowAccurateProgress(true);
    queue->setMaxConcurrentOperationCount(1);
    queue->setShouldCancelAllRequestsOnFailure(true);
    queue->setDelegate(
        std::shared_ptr<NetworkQueueDelegate>(shared_from_this(), static_cast<NetworkQueueDelegate*>(this)));
    queue->setRequestDidStartSelector(&NetworkQueueDelegate::requestStarted);
    queue->setRequestDidFinishSelector(&NetworkQueueDelegate::requestFinished);
    queue->setRequestDidFailSelector(&NetworkQueueDelegate::requestFailed);
    queue->setQueueDidFinishSelector(&NetworkQueueDelegate::queueFinished);
    auto batch = std::make_shared<Batch>(Batch{std::move(names), std::move(parameters), ServiceAPI::uploadURL(bookGuid),
                                               std::move(queue), std::move(deflatedDirectory), maxSendBytesPerSecond});
    SerialQueue::create("ACMultiFileUploader")->addOperation([self = shared_from_this(), batch] {
        self->prepare(*batch);
    });
}

void ACMultiFileUploader::prepare(const Batch& batch) {
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
    const std::uint64_t filesInList = batch.names.size();
    std::uint64_t filesDone = 0;
    for (std::size_t index = 0; index < batch.names.size(); ++index) {
        {
            std::scoped_lock lock(mutex_);
            if (cancelled_) {
                break;
            }
        }
        std::shared_ptr<HTTPRequest> request = partRequest(batch, index, stagingDirectory, &failure);
        if (!request) {
            failPreparation(batch, std::move(failure));
            return;
        }
        batch.queue->addOperation(std::move(request));
        ++filesDone;
        std::unique_lock lock(mutex_);
        if (CompressionBlock compression = compressionBlock_) {
            lock.unlock();
            compression(*this, filesDone, filesInList);
        }
    }
    bool cancelled = false;
    {
        std::scoped_lock lock(mutex_);
        cancelled = cancelled_;
        going_ = !cancelled;
    }
    // Set only now, so that the receiver's first 0 comes after the last compression report and
    // the total it is measured against is complete.
    batch.queue->setUploadProgressDelegate(
        std::shared_ptr<ProgressReceiver>(shared_from_this(), static_cast<ProgressReceiver*>(this)));
    if (filesDone == 0) {
        // No request will ever report the end of the queue.
        MainLoop::shared()->post([self = shared_from_this(), queue = batch.queue] { self->finishUpload(*queue); });
        return;
    }
    // Started on the main thread, where cancel() and the end of the queue are handled: a cancel
    // can then end the upload only after its requests were started, never while this thread is
    // still starting them.
    MainLoop::shared()->post([queue = batch.queue, cancelled] {
        queue->go();
        if (cancelled) {
            cancelRequests(*queue);
        }
    });
}

void ACMultiFileUploader::failPreparation(const Batch& batch, Error error) {
    // The queue never started: nothing of it is sent, and no request will report its end.
    MainLoop::shared()->post([self = shared_from_this(), queue = batch.queue, error = std::move(error)] {
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

std::shared_ptr<HTTPRequest> ACMultiFileUploader::partRequest(const Batch& batch, std::size_t index,
                                                              const std::string& stagingDirectory, Error* error) {
    const std::string& name = batch.names[index];
    const std::string path = workArea_.working() + name;
    Error failure;
    const std::optional<std::vector<std::uint8_t>> read = readWholeFile(path, &failure);
    if (!read) {
        report(error, posixError(static_cast<int>(failure.code), "Could not read \"" + path + "\""));
        return nullptr;
    }
    const std::vector<std::uint8_t>& contents = *read;

    auto request = FormDataRequest::requestWithURL(batch.url);
    request->setPostFormat(FormDataRequest::MultipartFormDataPostFormat);
    request->setShouldCompressRequestBody(false);
    request->setMaxSendBytesPerSecond(batch.maxSendBytesPerSecond);
    std::string stagedPath = batch.deflatedDirectory.empty() ? "" : batch.deflatedDirectory + name;
    std::error_code noFile;
    if (stagedPath.empty() || !std::filesystem::is_regular_file(stagedPath, noFile)) {
        std::optional<std::vector<std::uint8_t>> deflated = deflateData(contents);
        if (!deflated) {
            report(error, posixError(ENOMEM, "Could not compress \"" + path + "\""));
            return nullptr;
        }
        std::unique_lock lock(mutex_);
        if (const CompressedBlock compressed = compressedBlock_) {
            lock.unlock();
            compressed(*this, name, *deflated);
        }
        stagedPath = stagingDirectory + "/part-" + std::to_string(index);
        if (!writeFileAtomically(stagedPath, *deflated, &failure)) {
            report(error, posixError(static_cast<int>(failure.code), "Could not write \"" + stagedPath + "\""));
            return nullptr;
        }
    }
    request->setFile(stagedPath, "file", kOctetStream, "file");
    request->setPostValue(name, "name");
    request->setPostValue(true, "isZipped");
    request->setPostValue(true, "isBatch");
    request->setPostValue(batch.names.size() - 1, "batchTotal");
    request->setPostValue(index, "batchCurrent");
    request->setPostValue(contents.size(), "size");
    request->setPostValue(CRC32Value(contents), "crc");
    for (const auto& [key, value] : batch.parameters) {
        request->setPostValue(value, key);
    }
    return request;
}

void ACMultiFileUploader::cancel() {
    std::shared_ptr<NetworkQueue> queue;
    {
        std::scoped_lock lock(mutex_);
        if (!active_ || cancelled_) {
            return;
        }
        cancelled_ = true;
        if (going_) {
            queue = active_;
        }
    }
    // While the preparation runs, it stops at the next file and cancels what it added.
    if (queue) {
        cancelRequests(*queue);
    }
}

void ACMultiFileUploader::cancelRequests(NetworkQueue& queue) {
    queue.cancelAllOperations();
    for (const auto& request : queue.operations()) {
        request->cancel();
    }
}

std::shared_ptr<NetworkQueue> ACMultiFileUploader::active() const {
    std::scoped_lock lock(mutex_);
    return active_;
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
    reportRequest(&ACMultiFileUploader::fileFinishedBlock_, request);
}

void ACMultiFileUploader::requestFailed(HTTPRequest& request) {
    reportRequest(&ACMultiFileUploader::fileFailedBlock_, request);
}

void ACMultiFileUploader::setDoubleValue(double fraction) {
    std::unique_lock lock(mutex_);
    const ProgressBlock progress = progressBlock_;
    const std::shared_ptr<NetworkQueue> queue = active_;
    lock.unlock();
    if (progress && queue) {
        progress(*this, *queue, fraction);
    }
}

void ACMultiFileUploader::queueFinished(NetworkQueue& queue) {
    finishUpload(queue);
}

void ACMultiFileUploader::finishUpload(NetworkQueue& queue) {
    std::unique_lock lock(mutex_);
    // Once per upload, should the queue run dry before the preparation has added everything.
    if (active_.get() != &queue) {
        return;
    }
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

}  // namespace tomely
