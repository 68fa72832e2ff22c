#pragma once

#include <string>
#include <string_view>

#include "platform/Error.h"

namespace tomely {

// Domain of errors that carry an errno value as their code.
inline constexpr std::string_view kPOSIXErrorDomain = "NSPOSIXErrorDomain";

// An error for a failed system call: `what` names the attempt and its path
// ("Could not create the directory \"/x/y\""), and the system's text for `errnoValue` follows.
[[nodiscard]] Error posixError(int errnoValue, std::string_view what);

}  // namespace tomely
