#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/Error.h"

namespace tomely {

// Kinds of per-user directories the application asks for. The values are the ones the error
// user information reports under "NSSearchPathDirectory" and "NSSearchPathDomainMask".
enum class SearchPathDirectory : long { Caches = 13, ApplicationSupport = 14 };
enum class SearchPathDomainMask : unsigned long { User = 1 };

inline constexpr std::string_view kSupportDirectoryErrorDomain = "SupportDirectoryErrorDomain";
enum SupportDirectoryErrorCode : long {
    kSupportDirectoryNoPathFoundError = 0,
};
// The description of kSupportDirectoryNoPathFoundError.
inline constexpr std::string_view kNoPathFoundDescription = "No path found for directory in domain.";
inline constexpr std::string_view kSearchPathDirectoryKey = "NSSearchPathDirectory";
inline constexpr std::string_view kSearchPathDomainMaskKey = "NSSearchPathDomainMask";

// The application executable's name: the last component of the application-support directory.
inline constexpr std::string_view kExecutableName = "tomely-uploader";

// The directory of the given kind (for application support: $XDG_DATA_HOME when it is an absolute path, else
// $HOME/.local/share; for caches: $XDG_CACHE_HOME, else $HOME/.cache), with `appendPathComponent` appended when given,
// created with its intermediate directories when missing, each owner-only (0700) whatever the umask; the appended
// directories, the application's own, are made owner-only when they exist already. Returns nullopt and fills `error`
// when no base directory can be found (kSupportDirectoryNoPathFoundError) or the directory cannot be created (the
// creation's error); on success `error` is left empty (Error{}). Stateless: any thread may call it, but not while
// another thread changes the environment.
[[nodiscard]] std::optional<std::string> findOrCreateDirectory(SearchPathDirectory directory,
                                                               SearchPathDomainMask domain,
                                                               std::optional<std::string_view> appendPathComponent,
                                                               Error* error = nullptr);

// The per-user application-support directory followed by kExecutableName, created whenever it
// is missing (so it comes back after being deleted). On failure it logs
// "Unable to find or create application support directory:\n<error>" and returns nullopt.
[[nodiscard]] std::optional<std::string> applicationSupportDirectory();

// The per-user caches directory followed by kExecutableName, created whenever it is missing:
// what it holds only saves time, so deleting it loses nothing. Nothing when it cannot be found or
// created (`error` says why).
[[nodiscard]] std::optional<std::string> cachesDirectory(Error* error = nullptr);

}  // namespace tomely
