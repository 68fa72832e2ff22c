#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "upload/ACMultiFileUploader.h"

namespace tomely::bench {

// The account and the book of the sync benchmarks.
inline constexpr const char* kBenchEmail = "bench@example.com";
inline constexpr const char* kBenchPassword = "bench-secret";
inline constexpr const char* kBenchGuid = "BENCH-BOOK-1";

// The child process of a sync benchmark, so that its CPU time and peak memory are the client's
// alone. Signs in to $TOMELY_SERVICE_URL, syncs the Working directory below `support` with
// BookSync (a new book when `bookId` is empty, else that book; `partsInFlight` parts at once) and
// prints "key value" lines: the seconds of each stage (split, fingerprint, manifest, compress,
// send) and parts_sent. Returns the process's exit status.
int runSyncChild(const std::string& support, const std::string& bookId, std::size_t partsInFlight);

// The command that runs runSyncChild in a new process of the calling benchmark, which hands
// "--child" and what follows it to runSyncChild.
[[nodiscard]] std::vector<std::string> syncChildCommand(
    const std::string& support, const std::string& bookId,
    std::size_t partsInFlight = ACMultiFileUploader::kDefaultPartsInFlight);
[[nodiscard]] bool isSyncChildCommand(const std::vector<std::string>& arguments);
int runSyncChild(const std::vector<std::string>& arguments);

}  // namespace tomely::bench
