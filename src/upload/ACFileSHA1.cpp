#include "upload/ACFileSHA1.h"

#include <openssl/evp.h>

#include <array>
#include <unordered_set>

#include "platform/FileIO.h"
#include "platform/HexText.h"
#include "platform/SerialQueue.h"
#include "upload/DeflateData.h"

namespace tomely {
namespace {

constexpr std::size_t kSHA1Length = 20;

std::array<std::uint8_t, kSHA1Length> sha1(std::span<const std::uint8_t> bytes) {
    std::array<std::uint8_t, kSHA1Length> digest{};
    // With the default provider SHA-1 is always there; the digest stays zero only if it were not.
    EVP_Digest(bytes.data(), bytes.size(), digest.data(), nullptr, EVP_sha1(), nullptr);
    return digest;
}

// Keeps the first occurrence of every path, in list order.
std::vector<std::string> distinctPaths(std::vector<std::string> paths) {
    std::unordered_set<std::string> seen;
    std::vector<std::string> distinct;
    distinct.reserve(paths.size());
    for (std::string& path : paths) {
        if (seen.insert(path).second) {
            distinct.push_back(std::move(path));
        }
    }
    return distinct;
}

}  // namespace

std::shared_ptr<ACFileSHA1> ACFileSHA1::create() {
    return std::shared_ptr<ACFileSHA1>(new ACFileSHA1());
}

void ACFileSHA1::hashFiles(std::vector<std::string> paths) {
    auto queue = SerialQueue::create("ACFileSHA1");
    auto batch = std::make_shared<Batch>();
    // Counting a repeated path twice would leave the count forever out of reach.
    paths = distinctPaths(std::move(paths));
    batch->filesInList = paths.size();
    if (paths.empty()) {
        // Nothing to hash: complete anyway, so that a caller waiting for completion goes on.
        queue->addOperation([self = shared_from_this(), batch] {
            if (CompleteBlock complete = self->completeBlock()) {
                complete(*self, batch->fingerprints);
            }
        });
        return;
    }
    for (std::string& path : paths) {
        queue->addOperation(
            [self = shared_from_this(), path = std::move(path), batch] { self->hashFileAndReport(path, *batch); });
    }
}

void ACFileSHA1::hashFileAndReport(const std::string& path, Batch& batch) {
    const std::vector<std::uint8_t> contents = readWholeFile(path).value_or(std::vector<std::uint8_t>());
    // Contents that cannot be compressed are taken as no bytes, like an unreadable file.
    const std::vector<std::uint8_t> deflated = deflateData(contents).value_or(std::vector<std::uint8_t>());
    batch.fingerprints[path] = fingerprintOfDeflated(deflated);
    if (DeflatedBlock keep = deflatedBlock()) {
        keep(*this, path, deflated);
    }
    const std::uint64_t filesDone = batch.fingerprints.size();
    if (ProgressBlock progress = progressBlock()) {
        progress(*this, filesDone, batch.filesInList);
    }
    if (filesDone == batch.filesInList) {
        if (CompleteBlock complete = completeBlock()) {
            complete(*this, batch.fingerprints);
        }
    }
}

std::string ACFileSHA1::fingerprint(std::span<const std::uint8_t> contents) {
    // Contents that cannot be compressed are taken as no bytes, like an unreadable file.
    return fingerprintOfDeflated(deflateData(contents).value_or(std::vector<std::uint8_t>()));
}

std::string ACFileSHA1::fingerprintOfDeflated(std::span<const std::uint8_t> deflated) {
    std::string text = hexDigits(sha1(deflated), HexCase::Lower);
    text += '_';
    text += std::to_string(deflated.size());
    return text;
}

ACFileSHA1::ProgressBlock ACFileSHA1::progressBlock() const {
    std::scoped_lock lock(mutex_);
    return progressBlock_;
}

void ACFileSHA1::setProgressBlock(ProgressBlock block) {
    std::scoped_lock lock(mutex_);
    progressBlock_ = std::move(block);
}

ACFileSHA1::CompleteBlock ACFileSHA1::completeBlock() const {
    std::scoped_lock lock(mutex_);
    return completeBlock_;
}

void ACFileSHA1::setCompleteBlock(CompleteBlock block) {
    std::scoped_lock lock(mutex_);
    completeBlock_ = std::move(block);
}

ACFileSHA1::DeflatedBlock ACFileSHA1::deflatedBlock() const {
    std::scoped_lock lock(mutex_);
    return deflatedBlock_;
}

void ACFileSHA1::setDeflatedBlock(DeflatedBlock block) {
    std::scoped_lock lock(mutex_);
    deflatedBlock_ = std::move(block);
}

}  // namespace tomely
