#include "platform/PosixError.h"

#include <system_error>

namespace tomely {

Error posixError(int errnoValue, std::string_view what) {
    std::string description(what);
    if (!description.empty()) {
        description += ": ";
    }
    // generic_category().message() is the thread-safe form of strerror.
    description += std::generic_category().message(errnoValue);
    return Error::make(std::string(kPOSIXErrorDomain), errnoValue, std::move(description));
}

}  // namespace tomely
