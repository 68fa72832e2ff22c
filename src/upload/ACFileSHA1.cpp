#include "upload/ACFileSHA1.h"

#include <sched.h>

#include <algorithm>
#include <charconv>
#include <condition_variable>
#include <deque>
#include <thread>
#include <unordered_set>

#include <cerrno>

#include "platform/FileIO.h"
#include "platform/HexText.h"
#include "platform/PosixError.h"
#include "platform/SerialQueue.h"
#include "upload/DeflateData.h"
#include "upload/SHA1Digest.h"

namespace tomely {
namespace {

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

// The cores this process may run on.
std::size_t coreCount() {
    cpu_set_t cores;
    CPU_ZERO(&cores);
    if (::sched_getaffinity(0, sizeof cores, &cores) == 0) {
        return static_cast<std::size_t>(std::max(1, CPU_COUNT(&cores)));
    }
    return std::max(1U, std::thread::hardware_concurrency());
}

// What hashing one file found.
struct Outcome {
    std::size_t index = 0;
    std::string fingerprint;
    // deflateData() of the file, when it was compressed.
    std::vector<std::uint8_t> deflated;
    bool fromMemo = false;
    // Why the file has no fingerprint.
    std::optional<Error> failure;
};

Error compressFailedError(const std::string& path) {
    return posixError(ENOMEM, "Could not compress \"" + path + "\"");
}

// False when the contents cannot be compressed (no memory for the stream).
bool compress(std::span<const std::uint8_t> contents, Outcome& outcome) {
    std::optional<std::vector<std::uint8_t>> deflated = deflateData(contents);
    if (!deflated) {
        return false;
    }
    outcome.deflated = std::move(*deflated);
    outcome.fingerprint = ACFileSHA1::fingerprintOfDeflated(outcome.deflated);
    return true;
}

std::optional<std::vector<std::uint8_t>> readFile(const std::string& path, Error* error) {
    Error failure;
    std::optional<std::vector<std::uint8_t>> contents = readWholeFile(path, &failure);
    if (!contents) {
        report(error, posixError(static_cast<int>(failure.code), "Could not read \"" + path + "\""));
    }
    return contents;
}

Outcome hashFile(const std::string& path, FingerprintMemo* memo) {
    Outcome outcome;
    Error failure;
    const std::optional<std::vector<std::uint8_t>> contents = readFile(path, &failure);
    if (!contents) {
        outcome.failure = std::move(failure);
        return outcome;
    }
    if (memo == nullptr || contents->empty()) {
        if (!compress(*contents, outcome)) {
            outcome.failure = compressFailedError(path);
        }
        return outcome;
    }
    const SHA1Digest rawDigest = sha1Digest(*contents);
    if (std::optional<std::string> known = memo->recall(rawDigest)) {
        if (!memo->shouldRecheck(rawDigest)) {
            outcome.fingerprint = std::move(*known);
            outcome.fromMemo = true;
        } else if (!compress(*contents, outcome)) {
            outcome.failure = compressFailedError(path);
        } else if (outcome.fingerprint != *known) {
            memo->drop("a fingerprint computed again differs from the one remembered");
        }
        return outcome;
    }
    if (!compress(*contents, outcome)) {
        outcome.failure = compressFailedError(path);
        return outcome;
    }
    memo->remember(rawDigest, outcome.fingerprint);
    return outcome;
}

}  // namespace

std::shared_ptr<ACFileSHA1> ACFileSHA1::create() {
    return std::shared_ptr<ACFileSHA1>(new ACFileSHA1());
}

void ACFileSHA1::hashFiles(std::vector<std::string> paths) {
    // Counting a repeated path twice would leave the count forever out of reach.
    auto distinct = std::make_shared<std::vector<std::string>>(distinctPaths(std::move(paths)));
    SerialQueue::create("ACFileSHA1")->addOperation([self = shared_from_this(), distinct] {
        if (distinct->empty()) {
            // Nothing to hash: complete anyway, so that a caller waiting for completion goes on.
            if (CompleteBlock complete = self->completeBlock()) {
                complete(*self, {});
            }
            return;
        }
        self->hashAndReport(*distinct);
    });
}

void ACFileSHA1::hashAndReport(const std::vector<std::string>& paths) {
    Error failure;
    if (std::optional<Fingerprints> fingerprints = hashAll(paths, &failure)) {
        if (CompleteBlock complete = completeBlock()) {
            complete(*this, *fingerprints);
        }
    } else if (FailedBlock failed = failedBlock()) {
        failed(*this, failure);
    }
}

std::optional<ACFileSHA1::Fingerprints> ACFileSHA1::hashAll(const std::vector<std::string>& paths, Error* error) {
    const std::shared_ptr<FingerprintMemo> memo = this->memo();
    const std::size_t count = paths.size();
    const std::size_t workerCount = std::min(coreCount(), count);
    // Files done wait here for their report; the bound keeps their compressed forms few.
    const std::size_t mostWaiting = 2 * workerCount;
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Outcome> done;
    std::size_t next = 0;
    // Set by the reporting thread when the call stops: the workers take no more files.
    bool stopping = false;
    auto work = [&] {
        for (;;) {
            std::size_t index = 0;
            {
                std::unique_lock lock(mutex);
                changed.wait(lock, [&] { return done.size() < mostWaiting || next == count || stopping; });
                if (next == count || stopping) {
                    return;
                }
                index = next++;
            }
            Outcome outcome = hashFile(paths[index], memo.get());
            outcome.index = index;
            {
                std::scoped_lock lock(mutex);
                done.push_back(std::move(outcome));
            }
            changed.notify_all();
        }
    };
    std::vector<std::jthread> workers;
    for (std::size_t i = 0; i < workerCount; ++i) {
        workers.emplace_back(work);
    }
    const auto stop = [&](Error why) {
        {
            std::scoped_lock lock(mutex);
            stopping = true;
        }
        changed.notify_all();
        workers.clear();
        report(error, std::move(why));
        return std::nullopt;
    };

    // The reports are this thread's alone, so they come one at a time and count up in order.
    Fingerprints fingerprints;
    std::vector<std::size_t> recalled;
    for (std::size_t reported = 0; reported < count; ++reported) {
        Outcome outcome;
        {
            std::unique_lock lock(mutex);
            changed.wait(lock, [&] { return !done.empty(); });
            outcome = std::move(done.front());
            done.pop_front();
        }
        changed.notify_all();
        if (cancellation_.isCancelled()) {
            return stop(cancelledError("Looking for changes in the book"));
        }
        if (outcome.failure) {
            return stop(std::move(*outcome.failure));
        }
        const std::string& path = paths[outcome.index];
        fingerprints[path] = outcome.fingerprint;
        Error refused;
        if (outcome.fromMemo) {
            recalled.push_back(outcome.index);
        } else if (DeflatedBlock keep = deflatedBlock(); keep && !keep(*this, path, outcome.deflated, &refused)) {
            return stop(std::move(refused));
        }
        if (ProgressBlock progress = progressBlock()) {
            progress(*this, reported + 1, count);
        }
    }
    workers.clear();

    if (memo) {
        if (memo->wasDropped()) {
            // What the memo said before it was found wanting may be wrong too.
            for (const std::size_t index : recalled) {
                Error failure;
                const std::optional<std::vector<std::uint8_t>> contents = readFile(paths[index], &failure);
                if (!contents) {
                    report(error, std::move(failure));
                    return std::nullopt;
                }
                Outcome again;
                if (!compress(*contents, again)) {
                    report(error, compressFailedError(paths[index]));
                    return std::nullopt;
                }
                fingerprints[paths[index]] = again.fingerprint;
            }
        }
        if (!memo->save(error)) {
            return std::nullopt;
        }
    }
    return fingerprints;
}

std::string ACFileSHA1::fingerprint(std::span<const std::uint8_t> contents) {
    // Contents that cannot be compressed are taken as no bytes, like an unreadable file.
    return fingerprintOfDeflated(deflateData(contents).value_or(std::vector<std::uint8_t>()));
}

std::string ACFileSHA1::fingerprintOfDeflated(std::span<const std::uint8_t> deflated) {
    std::string text = hexDigits(sha1Digest(deflated), HexCase::Lower);
    text += '_';
    text += std::to_string(deflated.size());
    return text;
}

std::optional<std::uint64_t> ACFileSHA1::deflatedLength(std::string_view fingerprint) {
    const std::size_t separator = fingerprint.find('_');
    if (separator == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view digits = fingerprint.substr(separator + 1);
    std::uint64_t length = 0;
    const auto [end, failure] = std::from_chars(digits.data(), digits.data() + digits.size(), length);
    if (failure != std::errc() || end != digits.data() + digits.size() || digits.empty()) {
        return std::nullopt;
    }
    return length;
}

ACFileSHA1::FailedBlock ACFileSHA1::failedBlock() const {
    std::scoped_lock lock(mutex_);
    return failedBlock_;
}

void ACFileSHA1::setFailedBlock(FailedBlock block) {
    std::scoped_lock lock(mutex_);
    failedBlock_ = std::move(block);
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

std::shared_ptr<FingerprintMemo> ACFileSHA1::memo() const {
    std::scoped_lock lock(mutex_);
    return memo_;
}

void ACFileSHA1::setMemo(std::shared_ptr<FingerprintMemo> memo) {
    std::scoped_lock lock(mutex_);
    memo_ = std::move(memo);
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
