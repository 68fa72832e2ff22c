#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tomely::bench {

// The tree below `root` as an "iba" package at `archive`, entries stored (the bench times the sync,
// not zlib), with an index.xml naming `guid` so that the publisher finds the book again.
bool writeBookArchive(const std::filesystem::path& root, const std::string& guid, const std::filesystem::path& archive);

// One run of tomely-publish --json as a child process, timed by its own events.
struct PublisherRun {
    // From the start of splitting to the result: the span the bench's own sync stages cover.
    double syncSeconds = 0;
    // The whole process, sign-in and extraction included.
    double wallSeconds = 0;
    double cpuSeconds = 0;
    double peakMB = 0;
    long long partsSent = 0;
};

// Runs `publisher` on `archive` against `serviceURL` with `options` added; nothing when it fails.
[[nodiscard]] std::optional<PublisherRun> runPublisher(const std::string& publisher, const std::string& email,
                                                       const std::string& password, const std::string& serviceURL,
                                                       const std::filesystem::path& archive,
                                                       const std::vector<std::string>& options);

}  // namespace tomely::bench
