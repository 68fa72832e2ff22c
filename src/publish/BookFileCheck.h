#pragma once

#include <optional>
#include <string>

namespace tomely {

// Why the book at `path` cannot be opened, as far as this machine can tell without reading it:
// "no such file", "a directory, not a book", or the system's reason when it cannot be read at all.
// None when it is a file this process may read; whether it is a book the extraction finds out.
// Checked before the run signs in, so that a mistyped path costs no call to the service.
[[nodiscard]] std::optional<std::string> bookFileProblem(const std::string& path);

}  // namespace tomely
