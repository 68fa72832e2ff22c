#pragma once

#include <string>
#include <string_view>

#include "platform/Error.h"

namespace tomely {

// Domain of errors that carry an errno value as their code. Its codes are the system's own and
// keep the system's names (ENOENT, EIO, ...).
inline constexpr std::string_view kPOSIXErrorDomain = "NSPOSIXErrorDomain";

// An error for a failed system call. Its description is the system's text for `errnoValue`,
// after `what` and ": " when `what` names the attempt and its path
// ("Could not create the directory \"/x/y\"").
[[nodiscard]] Error posixError(int errnoValue, std::string_view what = {});

}  // namespace tomely
