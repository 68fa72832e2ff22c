#pragma once

#include <cstdint>
#include <string_view>

#include "http/URL.h"

namespace tomely {

// Every call the application makes to the Tomely service and every page it opens, resolved
// against serviceBaseURL() (an absolute path replaces the base URL's path). All calls carry the
// session cookies stored from earlier answers; none carries credentials of its own.
namespace ServiceAPI {

// Url-encoded form post of "email" and "password". 2xx: signed in (session cookies set); 403:
// wrong credentials.
[[nodiscard]] URL authenticationURL();
// GET; 2xx with a JSON array of the author's existing books.
[[nodiscard]] URL bookListURL();
// POST of the JSON manifest (no content type); 2xx with the manifest keys still to send.
[[nodiscard]] URL manifestURL(std::string_view bookGUID);
// The largest answers to these two calls the client keeps (HTTPRequest::setMaxResponseBodyBytes):
// room for a shelf of thousands of books and a book of a million parts. The other calls' answers
// are not read, and stay within the client's small default.
inline constexpr std::uint64_t kMaxBookListBytes = 64 * 1024 * 1024;
inline constexpr std::uint64_t kMaxManifestAnswerBytes = 64 * 1024 * 1024;
// Multipart form post of one part file; 2xx: stored.
[[nodiscard]] URL uploadURL(std::string_view bookGUID);

// Web pages opened in the user's browser; nothing is read back.
[[nodiscard]] URL recoverAccountPageURL();
[[nodiscard]] URL registerAccountPageURL();
[[nodiscard]] URL shelfPageURL();

// The success rule of every call: a status from 200 to 299. (The authentication call also
// accepts 403 as the "wrong credentials" answer; that is its caller's business.)
[[nodiscard]] constexpr bool isSuccessStatus(int statusCode) {
    return statusCode >= 200 && statusCode <= 299;
}

// `path` (absolute, beginning with "/") resolved against the service base URL.
[[nodiscard]] URL resolve(std::string_view path);

}  // namespace ServiceAPI
}  // namespace tomely
