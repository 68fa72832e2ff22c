#include "platform/Cancellation.h"

#include <cerrno>

#include "platform/PosixError.h"

namespace tomely {

Error cancelledError(std::string_view what) {
    return posixError(ECANCELED, what);
}

bool isCancelledError(const Error& error) {
    return error.domain == kPOSIXErrorDomain && error.code == ECANCELED;
}

}  // namespace tomely
