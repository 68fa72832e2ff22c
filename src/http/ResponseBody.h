#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "http/DataDecompressor.h"
#include "platform/Error.h"

namespace tomely {

// The body of one response as the client keeps it: the bytes as received and, when the response
// is gzip-compressed, the same inflated as they arrive, a bounded step at a time. Neither passes
// the limit: a body that would, or whose compressed stream does not inflate or ends cut short, is
// refused with an error of the HTTP request domain, so that nothing partial passes for the whole.
// Pure data, used from one thread at a time.
class ResponseBody {
public:
    // Starts a new, empty body. `announcedLength`, the response's "Content-Length" when it has one,
    // makes room once instead of growing step by step (never more room than `limit`).
    void reset(bool compressed, std::uint64_t limit, std::optional<std::uint64_t> announcedLength = std::nullopt);

    // Adds bytes as received. False when they take the body past the limit
    // (kResponseTooLargeErrorType) or do not inflate (kCompressionError); what was kept before stays.
    [[nodiscard]] bool append(std::span<const std::uint8_t> bytes, Error* error = nullptr);
    // The response has ended: false (kCompressionError) when its compressed stream was cut short.
    [[nodiscard]] bool finish(Error* error = nullptr) const;

    // As received (still compressed when the response is).
    [[nodiscard]] const std::vector<std::uint8_t>& raw() const { return raw_; }
    // Inflated when the response is compressed, else as received.
    [[nodiscard]] const std::vector<std::uint8_t>& data() const { return compressed_ ? inflated_ : raw_; }

private:
    std::vector<std::uint8_t> raw_;
    std::vector<std::uint8_t> inflated_;
    DataDecompressor inflater_;
    std::uint64_t limit_ = 0;
    bool compressed_ = false;
};

}  // namespace tomely
