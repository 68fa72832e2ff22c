#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// Faults on purpose, for exercising a client's failure paths against a real server. Off unless
// the operator asks for them with --fault-after-parts and --fault-kind (and --fault-count).
namespace tomely::shelf {

enum class FaultKind {
    InternalError,  // answer 500
    Unavailable,    // answer 503
    Drop,           // close the connection without an answer
    Stall,          // answer nothing until the service stops (or the stall limit passes), then drop
};

[[nodiscard]] std::optional<FaultKind> faultKindFromText(const std::string& text);
// "drop,stall,503": one kind or more, separated by commas; nothing when one is unknown.
[[nodiscard]] std::optional<std::vector<FaultKind>> faultKindsFromText(const std::string& text);

struct FaultSettings {
    std::optional<std::uint64_t> afterParts;  // the first N part uploads succeed, later ones fail
    // The kind of each failing part upload in turn, from the first again after the last.
    std::vector<FaultKind> kinds = {FaultKind::InternalError};
    // Only this many part uploads fail; the ones after them succeed again. None: every one fails.
    std::optional<std::uint64_t> count;
    std::chrono::seconds stallLimit = std::chrono::seconds(120);
};

// Thread-safe: part requests run on the server's worker threads.
class FaultInjector {
public:
    explicit FaultInjector(FaultSettings settings) : settings_(settings) {}

    // How this part request is to fail; nothing when it is to pass. Counts both.
    [[nodiscard]] std::optional<FaultKind> nextPartFault();
    // Blocks the calling worker until releaseStalls() or the stall limit.
    void stall();
    // Called when the service stops: every stall, present and future, returns at once.
    void releaseStalls();

private:
    const FaultSettings settings_;
    std::mutex mutex_;
    std::condition_variable released_;
    bool stopping_ = false;
    std::uint64_t partsPassed_ = 0;
    std::uint64_t partsFailed_ = 0;
};

}  // namespace tomely::shelf
