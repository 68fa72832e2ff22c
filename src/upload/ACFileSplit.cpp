#include "upload/ACFileSplit.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "platform/FileIO.h"
#include "platform/SerialQueue.h"

namespace tomely {
namespace {

constexpr std::size_t kMinimumIndexDigits = 5;

// Writes the parts of the file at `path`; true when all of it was read and every part written.
bool writePartFiles(const std::string& path, std::uint64_t maxBytes) {
    InputFile source(path);
    if (!source.isOpen() || maxBytes == 0) {
        return false;
    }
    // No part is larger than the file, so a large maxBytes costs no memory beyond the file's size.
    const std::uint64_t bufferSize = std::clamp<std::uint64_t>(source.currentSize(), 1, maxBytes);
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(bufferSize));
    bool allWritten = true;
    for (std::uint64_t index = 0;; ++index) {
        const std::optional<std::size_t> got = source.read(buffer);
        if (!got) {
            return false;
        }
        if (*got == 0) {
            return allWritten;
        }
        // A part that cannot be written is skipped; the later parts are still written.
        if (!writeFileAtomically(ACFileSplit::partFilePath(path, index), std::span(buffer).first(*got))) {
            allWritten = false;
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
    const std::uint64_t maxBytes = this->maxBytes();
    const bool keepOriginal = keepOriginalFile();
    if (keepOriginal || !renameToOnlyPart(path, maxBytes)) {
        const bool splitCompletely = writePartFiles(path, maxBytes);
        // A source that did not make it whole into its parts stays, or its bytes would be lost.
        if (splitCompletely && !keepOriginal) {
            ::unlink(path.c_str());
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

ACFileSplit::CompleteBlock ACFileSplit::completeBlock() const {
    std::scoped_lock lock(mutex_);
    return completeBlock_;
}

void ACFileSplit::setCompleteBlock(CompleteBlock block) {
    std::scoped_lock lock(mutex_);
    completeBlock_ = std::move(block);
}

}  // namespace tomely
