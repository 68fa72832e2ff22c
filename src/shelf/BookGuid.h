#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/Error.h"

namespace tomely {

// Why a book package names no GUID. Its errors end the wizard through the extraction failure
// alert, so each description says what is wrong with the book.
inline constexpr std::string_view kBookPackageErrorDomain = "BookPackageErrorDomain";

enum BookPackageErrorCode : long {
    kBookPackageIndexUnreadable = 1,  // index.xml is missing or cannot be read
    kBookPackageIndexNotUTF8 = 2,     // index.xml is not UTF-8 text
    kBookPackageNoGUID = 3,           // index.xml holds no sl:textbook element with a non-empty sl:GUID
    kBookPackageGUIDOnlyDots = 4,     // the GUID is made only of dots, a path step once in a URL
};

// The Book GUID in the text of an index.xml: capture group 1 of the first match of
// <sl:textbook.*?sl:GUID="(.*?)".*?>.*?</sl:textbook> (ICU, no options: case-sensitive, and "."
// stops at line ends, so the whole element must lie on one line). Taken verbatim; nullopt when
// nothing matches or the GUID is empty, since every later call puts it into a URL path.
[[nodiscard]] std::optional<std::string> findBookGuidInText(std::string_view indexXML);

// The Book GUID of the book extracted into `directory`, read from "<directory>/index.xml" (a
// directory ending in "/" gives a doubled slash, which the file system reads as one). A GUID made
// only of dots is refused: in the manifest and upload paths "." and ".." would name another path,
// and escaping the dots does not help, since URL normalisation may turn "%2E" back into ".". On
// failure fills `error` (kBookPackageErrorDomain). Any thread.
[[nodiscard]] std::optional<std::string> findBookGuidInLocation(const std::string& directory, Error* error = nullptr);

}  // namespace tomely
