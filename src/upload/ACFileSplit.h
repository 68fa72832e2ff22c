#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Cancellation.h"
#include "platform/Error.h"

namespace tomely {

// Cuts every file of a list into consecutive part files of at most maxBytes() bytes, written
// beside the source as "<path>.part00000", "<path>.part00001", ..., and deletes each source once
// all of it is safely in its parts unless keepOriginalFile() is set. A file of 0 bytes has no
// parts. Without keepOriginalFile(), a file that fits in one part becomes that part by a rename,
// which copies nothing.
//
// A file that cannot be read or a part that cannot be written (a full disk) stops the call: that
// file's parts written so far are removed, its source stays, the files after it are not split,
// and failedBlock says which file and why instead of completeBlock. A source that cannot be
// removed after its split stops it the same way (its parts stay). cancel() stops it between two
// parts, like a failure, with cancelledError().
//
// Threads: splitFiles() returns at once. Each call gets a private SerialQueue that works through
// its files one at a time, in list order, on that queue's worker thread, and both callbacks run
// there, never on the caller's thread. For a list of n files: n progressBlock calls with
// filesDone = 1, 2, ..., n and filesInList = n, then exactly one completeBlock call; an empty list
// gives the completeBlock call alone. A failure ends the progress calls and makes exactly one
// failedBlock call in place of completeBlock. Whoever touches an interface from a callback posts to the
// main loop. The properties may be read and set from any thread; a file is split with the values
// they have when its turn comes.
//
// Ownership: the work of a call holds the splitter (and so its callbacks) until the last callback
// has returned, so a caller may drop its reference right after splitFiles(). A callback must not
// hold the splitter strongly (that would keep it forever); it gets the splitter as its argument.
class ACFileSplit : public std::enable_shared_from_this<ACFileSplit> {
public:
    using ProgressBlock =
        std::function<void(ACFileSplit& splitter, std::uint64_t filesDone, std::uint64_t filesInList)>;
    using CompleteBlock = std::function<void(ACFileSplit& splitter)>;
    using FailedBlock = std::function<void(ACFileSplit& splitter, const Error& error)>;

    // 1000 x 1024, not 1 MiB: the size the service expects of a part file.
    static constexpr std::uint64_t kDefaultMaxBytes = 1'024'000;

    // A splitter with maxBytes() = kDefaultMaxBytes and keepOriginalFile() = true.
    [[nodiscard]] static std::shared_ptr<ACFileSplit> create();

    // Queues the splitting of every file of `paths` (absolute paths) and returns at once.
    void splitFiles(std::vector<std::string> paths);
    // Stops the splitting between two parts. Any thread.
    void cancel() { cancellation_.cancel(); }

    // The name of part `index` of `sourcePath`: the path, ".part", then the index with at least
    // five digits ("/a/b.png.part00007"; from 100000 on the number simply takes more digits).
    [[nodiscard]] static std::string partFilePath(std::string_view sourcePath, std::uint64_t index);

    [[nodiscard]] std::uint64_t maxBytes() const;
    // 0 splits nothing: every file then counts as unreadable.
    void setMaxBytes(std::uint64_t maxBytes);
    [[nodiscard]] bool keepOriginalFile() const;
    void setKeepOriginalFile(bool keepOriginalFile);
    [[nodiscard]] ProgressBlock progressBlock() const;
    void setProgressBlock(ProgressBlock block);
    [[nodiscard]] CompleteBlock completeBlock() const;
    void setCompleteBlock(CompleteBlock block);
    [[nodiscard]] FailedBlock failedBlock() const;
    void setFailedBlock(FailedBlock block);

private:
    // The counters of one splitFiles() call, touched only by that call's serial work items.
    struct Batch {
        std::uint64_t filesInList = 0;
        std::uint64_t filesDone = 0;
        bool failed = false;
    };

    ACFileSplit() = default;
    // Runs on the worker thread.
    void splitFileAndReport(const std::string& path, Batch& batch);

    mutable std::mutex mutex_;
    std::uint64_t maxBytes_ = kDefaultMaxBytes;
    bool keepOriginalFile_ = true;
    ProgressBlock progressBlock_;
    CompleteBlock completeBlock_;
    FailedBlock failedBlock_;
    Cancellation cancellation_;
};

}  // namespace tomely
