#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tomely {

// The MIME type for a file: nothing when no regular file exists at `path`; otherwise the type the
// system's type database (/etc/mime.types) gives its extension, or "application/octet-stream".
[[nodiscard]] std::optional<std::string> mimeTypeForFileAtPath(const std::string& path);

// The type for a file-name extension (without the dot, any letter case) from the contents of a
// mime.types file; "application/octet-stream" when it is not listed. Pure.
[[nodiscard]] std::string mimeTypeForExtension(std::string_view extension, std::string_view mimeTypesFile);

}  // namespace tomely
