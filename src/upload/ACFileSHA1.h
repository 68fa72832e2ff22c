#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Cancellation.h"
#include "platform/Error.h"
#include "upload/FingerprintMemo.h"

namespace tomely {

// Computes a fingerprint for each file of a list: the SHA-1 digest of the file's deflateData()
// form as 40 lowercase hex digits, then "_" and the length of that form in decimal. The service
// matches these against the fingerprints of earlier uploads, so the text must never change.
// A file that cannot be read or compressed, a deflatedBlock that refuses, a memo that cannot be
// written and cancel() stop the call: no more files are taken, and failedBlock says which file and
// why in place of completeBlock. (A file taken as empty would give a fingerprint of no bytes for
// data the book holds.)
//
// Compressing is what costs: with a FingerprintMemo, a file whose raw bytes were fingerprinted
// before (in this run or an earlier one) is not compressed, except for the hits the memo picks
// for a recheck. Should the memo be found wanting during the call, every fingerprint it gave in
// that call is computed again before completeBlock, so the memo never changes a result.
//
// Threads: hashFiles() returns at once. Each call gets a private SerialQueue whose worker thread
// makes every callback, never the caller's thread; the files are read and compressed meanwhile by
// one thread per core, so they finish in no fixed order. A path listed more than once is hashed
// once. For a list of n distinct paths: n progressBlock calls with filesDone = 1, 2, ..., n and
// filesInList = n, then exactly one completeBlock call with all n entries; an empty list gives the
// completeBlock call alone, with no entries. A failure ends the progress calls and makes exactly
// one failedBlock call instead of completeBlock. Whoever touches an interface from a callback posts to
// the main loop. The callbacks and the memo may be read and set from any thread.
//
// Ownership: the work of a call holds the hasher (and so its callbacks) until the last callback
// has returned, so a caller may drop its reference right after hashFiles(). A callback must not
// hold the hasher strongly (that would keep it forever); it gets the hasher as its argument.
class ACFileSHA1 : public std::enable_shared_from_this<ACFileSHA1> {
public:
    // Path exactly as listed -> fingerprint.
    using Fingerprints = std::map<std::string, std::string>;
    using ProgressBlock = std::function<void(ACFileSHA1& hasher, std::uint64_t filesDone, std::uint64_t filesInList)>;
    using CompleteBlock = std::function<void(ACFileSHA1& hasher, const Fingerprints& fingerprints)>;
    using FailedBlock = std::function<void(ACFileSHA1& hasher, const Error& error)>;
    // The compressed form a fingerprint was taken over, for a caller that sends it later and need
    // not compress the file again. False, with `error` filled, stops the call with that error.
    using DeflatedBlock = std::function<bool(ACFileSHA1& hasher, const std::string& path,
                                             std::span<const std::uint8_t> deflated, Error* error)>;

    [[nodiscard]] static std::shared_ptr<ACFileSHA1> create();

    // Queues the hashing of every file of `paths` (absolute paths) and returns at once.
    void hashFiles(std::vector<std::string> paths);
    // Stops the hashing before the next file. Any thread.
    void cancel() { cancellation_.cancel(); }

    // The fingerprint of a file holding `contents`. Thread-safe.
    [[nodiscard]] static std::string fingerprint(std::span<const std::uint8_t> contents);
    // The fingerprint of a file whose deflateData() form is `deflated`. Thread-safe.
    [[nodiscard]] static std::string fingerprintOfDeflated(std::span<const std::uint8_t> deflated);
    // The length of the deflateData() form a fingerprint was made of, read back from its text:
    // known also for a fingerprint the memo gave, whose part was never compressed in this run.
    // None for a text that is not a fingerprint.
    [[nodiscard]] static std::optional<std::uint64_t> deflatedLength(std::string_view fingerprint);

    [[nodiscard]] ProgressBlock progressBlock() const;
    void setProgressBlock(ProgressBlock block);
    [[nodiscard]] CompleteBlock completeBlock() const;
    void setCompleteBlock(CompleteBlock block);
    [[nodiscard]] FailedBlock failedBlock() const;
    void setFailedBlock(FailedBlock block);
    // Called for each file that was compressed, before its progressBlock call, on the same thread;
    // a file whose fingerprint came from the memo has none.
    [[nodiscard]] DeflatedBlock deflatedBlock() const;
    void setDeflatedBlock(DeflatedBlock block);
    // Where fingerprints are remembered and recalled, saved at the end of each call; none by
    // default. Set before hashFiles().
    [[nodiscard]] std::shared_ptr<FingerprintMemo> memo() const;
    void setMemo(std::shared_ptr<FingerprintMemo> memo);

private:
    // Runs on the call's SerialQueue: hashes `paths` (distinct, not empty) and reports.
    void hashAndReport(const std::vector<std::string>& paths);
    // The fingerprints of `paths`; nothing, with `error` filled, when the call stops.
    [[nodiscard]] std::optional<Fingerprints> hashAll(const std::vector<std::string>& paths, Error* error);

    ACFileSHA1() = default;

    mutable std::mutex mutex_;
    ProgressBlock progressBlock_;
    CompleteBlock completeBlock_;
    FailedBlock failedBlock_;
    DeflatedBlock deflatedBlock_;
    Cancellation cancellation_;
    std::shared_ptr<FingerprintMemo> memo_;
};

}  // namespace tomely
