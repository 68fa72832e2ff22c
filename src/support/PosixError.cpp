#include "support/PosixError.h"

#include <system_error>

namespace tomely {

Error posixError(int errnoValue, std::string_view what) {
    // generic_category().message() is the thread-safe form of strerror.
    std::string description(what);
    description += ": ";
    description += std::generic_category().message(errnoValue);
    return Error::make(std::string(kPOSIXErrorDomain), errnoValue, std::move(description));
}

}  // namespace tomely
