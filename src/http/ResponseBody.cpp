#include "http/ResponseBody.h"

#include <algorithm>

#include "http/HTTPRequestError.h"

namespace tomely {

void ResponseBody::reset(bool compressed, std::uint64_t limit, std::optional<std::uint64_t> announcedLength) {
    // Swapped with empty vectors, not cleared: the memory of an earlier attempt goes at once.
    std::vector<std::uint8_t>().swap(raw_);
    std::vector<std::uint8_t>().swap(inflated_);
    limit_ = limit;
    compressed_ = compressed;
    (void)inflater_.closeStream();  // a stream of an earlier attempt is only let go of; its state does not matter
    if (announcedLength) {
        raw_.reserve(static_cast<std::size_t>(std::min(*announcedLength, limit)));
    }
}

bool ResponseBody::append(std::span<const std::uint8_t> bytes, Error* error) {
    if (bytes.size() > limit_ - raw_.size()) {
        report(error, responseTooLargeError(limit_));
        return false;
    }
    raw_.insert(raw_.end(), bytes.begin(), bytes.end());
    if (!compressed_) {
        return true;
    }
    if (!inflater_.setupStream(error)) {
        return false;
    }
    bool tooLarge = false;
    const bool inflated = inflater_.inflateBytes(
        bytes,
        [this, &tooLarge](std::span<const std::uint8_t> step) {
            tooLarge = step.size() > limit_ - inflated_.size();
            if (!tooLarge) {
                inflated_.insert(inflated_.end(), step.begin(), step.end());
            }
            return !tooLarge;
        },
        error);
    if (tooLarge) {
        report(error, responseTooLargeError(limit_));
    }
    return inflated;
}

bool ResponseBody::finish(Error* error) const {
    return !compressed_ || raw_.empty() || inflater_.isComplete(error);
}

}  // namespace tomely
