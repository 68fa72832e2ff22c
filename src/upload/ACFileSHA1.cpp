#include "upload/ACFileSHA1.h"

#include <sched.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <thread>
#include <unordered_set>

#include "platform/FileIO.h"
#include "platform/HexText.h"
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
};

// Contents that cannot be compressed are taken as no bytes, like an unreadable file; false then.
bool compress(std::span<const std::uint8_t> contents, Outcome& outcome) {
    std::optional<std::vector<std::uint8_t>> deflated = deflateData(contents);
    outcome.deflated = deflated ? std::move(*deflated) : std::vector<std::uint8_t>();
    outcome.fingerprint = ACFileSHA1::fingerprintOfDeflated(outcome.deflated);
    return deflated.has_value();
}

Outcome hashFile(const std::string& path, FingerprintMemo* memo) {
    const std::vector<std::uint8_t> contents = readWholeFile(path).value_or(std::vector<std::uint8_t>());
    Outcome outcome;
    if (memo == nullptr || contents.empty()) {
        compress(contents, outcome);
        return outcome;
    }
    const SHA1Digest rawDigest = sha1Digest(contents);
    if (std::optional<std::string> known = memo->recall(rawDigest)) {
        if (!memo->shouldRecheck(rawDigest)) {
            outcome.fingerprint = std::move(*known);
            outcome.fromMemo = true;
        } else if (compress(contents, outcome) && outcome.fingerprint != *known) {
            memo->drop("a fingerprint computed again differs from the one remembered");
        }
        return outcome;
    }
    if (compress(contents, outcome)) {
        memo->remember(rawDigest, outcome.fingerprint);
    }
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
    const std::shared_ptr<FingerprintMemo> memo = this->memo();
    const std::size_t count = paths.size();
    const std::size_t workerCount = std::min(coreCount(), count);
    // Files done wait here for their report; the bound keeps their compressed forms few.
    const std::size_t mostWaiting = 2 * workerCount;
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Outcome> done;
    std::size_t next = 0;
    auto work = [&] {
        for (;;) {
            std::size_t index = 0;
            {
                std::unique_lock lock(mutex);
                changed.wait(lock, [&] { return done.size() < mostWaiting || next == count; });
                if (next == count) {
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
        const std::string& path = paths[outcome.index];
        fingerprints[path] = outcome.fingerprint;
        if (outcome.fromMemo) {
            recalled.push_back(outcome.index);
        } else if (DeflatedBlock keep = deflatedBlock()) {
            keep(*this, path, outcome.deflated);
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
                fingerprints[paths[index]] =
                    fingerprint(readWholeFile(paths[index]).value_or(std::vector<std::uint8_t>()));
            }
        }
        memo->save();
    }
    if (CompleteBlock complete = completeBlock()) {
        complete(*this, fingerprints);
    }
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
