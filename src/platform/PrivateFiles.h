#pragma once

#include <string>

#include "platform/Error.h"

namespace tomely {

// What the application keeps of the author (the extracted book, its fingerprints, the settings)
// is for the author alone: its directories are 0700 and its files 0600, whatever the umask.
// Failures are POSIX errors whose description is the system's text alone. Any thread.

// Creates `path` and every missing directory above it, each owner-only. Directories that exist
// already are left as they are: those above the application's own may be the user's (~/.cache).
// False when a directory cannot be created or something other than a directory is in the way.
[[nodiscard]] bool createPrivateDirectories(const std::string& path, Error* error = nullptr);

// Creates the file `path` empty and owner-only when it is missing, and restricts it to its owner
// (restrictToOwner) when it exists.
[[nodiscard]] bool createPrivateFile(const std::string& path, Error* error = nullptr);

// Takes every permission of the group and of others off `path` when it exists and belongs to this
// user (an older version made it with the umask's permissions); a symbolic link is left alone.
// True when nothing needed changing or `path` does not exist.
[[nodiscard]] bool restrictToOwner(const std::string& path, Error* error = nullptr);

}  // namespace tomely
