#include "upload/ACFileSplit.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include <cerrno>

#include "platform/FileIO.h"
#include "platform/PosixError.h"
#include "platform/SerialQueue.h"

namespace tomely {
namespace {

constexpr std::size_t kMinimumIndexDigits = 5;

// Writes the parts of the file at `path`; false, with `error` naming the file and the reason, when
// any of it cannot be read or written, or `cancellation` comes first. The parts written then are
// removed again, so the source stays the one whole copy.
bool writePartFiles(const std::string& path, std::uint64_t maxBytes, const Cancellation& cancellation, Error* error) {
    if (maxBytes == 0) {
        report(error, posixError(EINVAL, "Could not split \"" + path + "\" into parts of 0 bytes"));
        return false;
    }
    Error failure;
    InputFile source(path, &failure);
    if (!source.isOpen()) {
        report(error, posixError(static_cast<int>(failure.code), "Could not read \"" + path + "\""));
        return false;
    }
    // No part is larger than the file, so a large maxBytes costs no memory beyond the file's size.
    const std::uint64_t bufferSize = std::clamp<std::uint64_t>(source.currentSize(), 1, maxBytes);
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(bufferSize));
    std::uint64_t index = 0;
    const auto removeWrittenParts = [&path, &index] {
        for (std::uint64_t written = 0; written < index; ++written) {
            ::unlink(ACFileSplit::partFilePath(path, written).c_str());
        }
    };
    for (;; ++index) {
        if (cancellation.isCancelled()) {
            removeWrittenParts();
            report(error, cancelledError("Splitting \"" + path + "\""));
            return false;
        }
        const std::optional<std::size_t> got = source.read(buffer, &failure);
        if (!got) {
            removeWrittenParts();
            report(error, posixError(static_cast<int>(failure.code), "Could not read \"" + path + "\""));
            return false;
        }
        if (*got == 0) {
            return true;
        }
        const std::string part = ACFileSplit::partFilePath(path, index);
        if (!writeFileAtomically(part, std::span(buffer).first(*got), &failure)) {
            removeWrittenParts();
            report(error, posixError(static_cast<int>(failure.code), "Could not write \"" + part + "\""));
            return false;
        }
    }
}

// Makes a regular file that fits in one part that part, by renaming it: the part's bytes are the
// file's bytes, so none needs copying. False, with the file left where it was, otherwise.
bool renameToOnlyPart(const std::string& path, std::uint64_t maxBytes) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode) || status.st_size == 0 ||
        static_cast<std::uint64_t>(status.st_size) > maxBytes) {
        return false;
    }
    return ::rename(path.c_str(), ACFileSplit::partFilePath(path, 0).c_str()) == 0;
}

}  // namespace

std::shared_ptr<ACFileSplit> ACFileSplit::create() {
    return std::shared_ptr<ACFileSplit>(new ACFileSplit());
}

void ACFileSplit::splitFiles(std::vector<std::string> paths) {
    auto queue = SerialQueue::create("ACFileSplit");
    auto batch = std::make_shared<Batch>();
    batch->filesInList = paths.size();
    if (paths.empty()) {
        // Nothing to split: complete anyway, so that a caller waiting for completion goes on.
        queue->addOperation([self = shared_from_this()] {
            if (CompleteBlock complete = self->completeBlock()) {
                complete(*self);
            }
        });
        return;
    }
    for (std::string& path : paths) {
        queue->addOperation(
            [self = shared_from_this(), path = std::move(path), batch] { self->splitFileAndReport(path, *batch); });
    }
}

void ACFileSplit::splitFileAndReport(const std::string& path, Batch& batch) {
    if (batch.failed) {
        return;
    }
    const std::uint64_t maxBytes = this->maxBytes();
    const bool keepOriginal = keepOriginalFile();
    if (keepOriginal || !renameToOnlyPart(path, maxBytes)) {
        Error failure;
        bool split = writePartFiles(path, maxBytes, cancellation_, &failure);
        // Left beside its parts, the source would be listed, fingerprinted and sent as one more part.
        if (split && !keepOriginal && ::unlink(path.c_str()) != 0) {
            failure = posixError(errno, "Could not remove \"" + path + "\" after splitting it");
            split = false;
        }
        if (!split) {
            batch.failed = true;
            if (FailedBlock failed = failedBlock()) {
                failed(*this, failure);
            }
            return;
        }
    }
    ++batch.filesDone;
    if (ProgressBlock progress = progressBlock()) {
        progress(*this, batch.filesDone, batch.filesInList);
    }
    if (batch.filesDone == batch.filesInList) {
        if (CompleteBlock complete = completeBlock()) {
            complete(*this);
        }
    }
}

std::string ACFileSplit::partFilePath(std::string_view sourcePath, std::uint64_t index) {
    const std::string digits = std::to_string(index);
    std::string partPath(sourcePath);
    partPath += ".part";
    if (digits.size() < kMinimumIndexDigits) {
        partPath.append(kMinimumIndexDigits - digits.size(), '0');
    }
    partPath += digits;
    return partPath;
}

std::uint64_t ACFileSplit::maxBytes() const {
    std::scoped_lock lock(mutex_);
    return maxBytes_;
}

void ACFileSplit::setMaxBytes(std::uint64_t maxBytes) {
    std::scoped_lock lock(mutex_);
    maxBytes_ = maxBytes;
}

bool ACFileSplit::keepOriginalFile() const {
    std::scoped_lock lock(mutex_);
    return keepOriginalFile_;
}

void ACFileSplit::setKeepOriginalFile(bool keepOriginalFile) {
    std::scoped_lock lock(mutex_);
    keepOriginalFile_ = keepOriginalFile;
}

ACFileSplit::ProgressBlock ACFileSplit::progressBlock() const {
    std::scoped_lock lock(mutex_);
    return progressBlock_;
}

void ACFileSplit::setProgressBlock(ProgressBlock block) {
    std::scoped_lock lock(mutex_);
    progressBlock_ = std::move(block);
}

ACFileSplit::FailedBlock ACFileSplit::failedBlock() const {
    std::scoped_lock lock(mutex_);
    return failedBlock_;
}

void ACFileSplit::setFailedBlock(FailedBlock block) {
    std::scoped_lock lock(mutex_);
    failedBlock_ = std::move(block);
}

ACFileSplit::CompleteBlock ACFileSplit::completeBlock() const {
    std::scoped_lock lock(mutex_);
    return completeBlock_;
}

void ACFileSplit::setCompleteBlock(CompleteBlock block) {
    std::scoped_lock lock(mutex_);
    completeBlock_ = std::move(block);
}

}  // namespace tomely
