#pragma once

#include <cstdint>
#include <optional>

namespace tomely {

// The upload's figures as a person reads them. The network queue's total loses each request's
// first buffer as the request starts, so that it shrinks while the upload goes on ("of 6.0 ... of
// 5.7 ... of 5.0 MB"); the total of the first report stands for the whole upload, and the bytes
// sent are the queue's fraction of it, so they reach it exactly at the end.
class SteadyUploadTotal {
public:
    struct Figures {
        std::int64_t sent = 0;
        std::int64_t total = 0;

        bool operator==(const Figures&) const = default;
    };

    // A report of `fraction` of the queue's bodies sent, out of `queueTotal` bytes now.
    [[nodiscard]] Figures shown(double fraction, std::int64_t queueTotal);

private:
    std::optional<std::int64_t> total_;
};

}  // namespace tomely
