#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

namespace tomely {

// Computes a fingerprint for each file of a list: the SHA-1 digest of the file's deflateData()
// form as 40 lowercase hex digits, then "_" and the length of that form in decimal. The service
// matches these against the fingerprints of earlier uploads, so the text must never change.
// Nothing is reported as an error: a file that cannot be read counts as empty, whose fingerprint
// is the digest of no bytes followed by "_0".
//
// Threads: hashFiles() returns at once. Each call gets a private SerialQueue that hashes its files
// one at a time, in list order, on that queue's worker thread, and every callback runs there, never
// on the caller's thread. A path listed more than once is hashed once. For a list of n distinct
// paths: n progressBlock calls with filesDone = 1, 2, ..., n and filesInList = n, then exactly one
// completeBlock call with all n entries; an empty list gives the completeBlock call alone, with no
// entries. Whoever touches an interface from a callback posts to the main loop. The callbacks may
// be read and set from any thread.
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
    // The compressed form a fingerprint was taken over, for a caller that sends it later and need
    // not compress the file again.
    using DeflatedBlock =
        std::function<void(ACFileSHA1& hasher, const std::string& path, std::span<const std::uint8_t> deflated)>;

    [[nodiscard]] static std::shared_ptr<ACFileSHA1> create();

    // Queues the hashing of every file of `paths` (absolute paths) and returns at once.
    void hashFiles(std::vector<std::string> paths);

    // The fingerprint of a file holding `contents`. Thread-safe.
    [[nodiscard]] static std::string fingerprint(std::span<const std::uint8_t> contents);
    // The fingerprint of a file whose deflateData() form is `deflated`. Thread-safe.
    [[nodiscard]] static std::string fingerprintOfDeflated(std::span<const std::uint8_t> deflated);

    [[nodiscard]] ProgressBlock progressBlock() const;
    void setProgressBlock(ProgressBlock block);
    [[nodiscard]] CompleteBlock completeBlock() const;
    void setCompleteBlock(CompleteBlock block);
    // Called for each file before its progressBlock call, on the same thread.
    [[nodiscard]] DeflatedBlock deflatedBlock() const;
    void setDeflatedBlock(DeflatedBlock block);

private:
    // The state of one hashFiles() call, touched only by that call's serial work items.
    struct Batch {
        std::uint64_t filesInList = 0;
        Fingerprints fingerprints;
    };

    ACFileSHA1() = default;
    // Runs on the worker thread.
    void hashFileAndReport(const std::string& path, Batch& batch);

    mutable std::mutex mutex_;
    ProgressBlock progressBlock_;
    CompleteBlock completeBlock_;
    DeflatedBlock deflatedBlock_;
};

}  // namespace tomely
