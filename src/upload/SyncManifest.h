#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "json/JSONValue.h"
#include "platform/Error.h"
#include "shelf/UploadTarget.h"
#include "upload/ACMultiFileUploader.h"

namespace tomely {

// The service's answer to the manifest cannot be followed.
inline constexpr std::string_view kSyncManifestErrorDomain = "SyncManifestErrorDomain";
enum SyncManifestErrorCode : long {
    kManifestAnswerNotNamesCode = 1,    // "the service's answer is not a list of part names"
    kManifestAnswerNotOfferedCode = 2,  // it names a part the manifest did not offer
};

// Manifest key -> fingerprint.
using KeyedFingerprints = std::map<std::string, std::string>;

// The manifest key of a part file listed below the Working directory: the listed path without
// the Working directory text in front, so it begins with "/" ("/images/a.png.part00000").
[[nodiscard]] std::string manifestKey(std::string_view listedPath, std::string_view workingDirectory);

// The JSON text posted to the service: "hashes" (key -> fingerprint), "bookGUID", "format" ("iba")
// and the target's "bookName" or "bookId" (the id with the JSON type the list gave it), each left
// out when the target has none.
[[nodiscard]] std::string manifestText(const KeyedFingerprints& fingerprints, std::string_view bookGuid,
                                       const UploadTarget& target);

// The names of the service's answer that are to be uploaded, in the answer's order; an empty
// array names nothing to send. Only keys of the posted manifest are taken: the uploader turns a
// name into a path below the Working directory, so any other name (such as "/../../x") would read
// and upload a file the author never offered. Repeats are skipped with a line in the system log.
// An answer that is not a JSON array of strings (no JSON at all included), or that names anything
// not offered, cannot be followed: nothing then, with `error` saying why (kSyncManifestErrorDomain)
// and naming the first such name. Sending the rest would call a book whole that the service
// may not hold whole.
[[nodiscard]] std::optional<std::vector<std::string>> namesToSend(const std::optional<JSONValue>& answer,
                                                                  const KeyedFingerprints& offered,
                                                                  Error* error = nullptr);

// The form fields of every part upload beside the uploader's own: the target's "bookId" and
// "bookName" (each left out when absent) and "format".
[[nodiscard]] ACMultiFileUploader::Parameters uploadParameters(const UploadTarget& target);

}  // namespace tomely
