#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Error.h"

namespace tomely {

// Size of the blocks in which file bodies are read, copied and compressed.
inline constexpr std::size_t kFileBlockSize = 262144;

// Turns one block of the source into bytes for the destination (possibly none). `isLast` is true
// exactly once, for the final block (which may be empty). Returns nothing on failure, with `error`
// filled. `done` answers whether the stream wants no more input.
struct BlockTransform {
    std::function<std::optional<std::vector<std::uint8_t>>(std::span<const std::uint8_t>, bool isLast, Error*)>
        transform;
    std::function<bool()> done;
};

// Streams the file at `sourcePath` through `step` into a new file at `destinationPath`. `verb`
// ("Compression" or "Decompression") starts every error message.
[[nodiscard]] bool streamFileInBlocks(const std::string& sourcePath, const std::string& destinationPath,
                                      std::string_view verb, const BlockTransform& step, Error* error);

}  // namespace tomely
