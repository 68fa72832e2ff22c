#pragma once

#include "app/Alert.h"
#include "session/SessionEvents.h"

namespace tomely {

// The alert that ends the wizard after `failure`:
//   - a book that cannot be opened: the extraction alert ("Extraction failed") with the error;
//   - a file of the sync that cannot be written or read: the preparation alert;
//   - a part upload that failed: the upload alert, the same words whatever went wrong;
//   - any other call (sign-in, list, manifest): the HTTP alert with its status and URL.
[[nodiscard]] Alert sessionFailureAlert(const SessionFailure& failure);

}  // namespace tomely
