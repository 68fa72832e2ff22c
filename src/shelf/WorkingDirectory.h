#pragma once

#include <optional>
#include <string>

#include "platform/Error.h"

namespace tomely {

// Deletes the application-support directory with everything in it, so that nothing of an
// earlier run mixes with the next book, and creates the Working directory anew. Returns the
// Working directory's path text (ending in "/"). A failure to delete or to create the Working
// directory itself is not reported: the extraction into it reports what matters. When no
// application-support directory can be found or created, returns none and fills `error` with
// that failure (kSupportDirectoryErrorDomain or a POSIX error). Any thread.
[[nodiscard]] std::optional<std::string> freshWorkingDirectory(Error* error = nullptr);

}  // namespace tomely
