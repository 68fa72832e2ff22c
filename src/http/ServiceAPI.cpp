#include "http/ServiceAPI.h"

#include <string>

#include "http/ServiceURL.h"
#include "platform/HexText.h"

namespace tomely::ServiceAPI {
namespace {

// The Book GUID comes from the book's own index.xml: escaped, so that a "/", "?" or "#" in it
// cannot move the call to another path.
std::string pathSegment(std::string_view text) {
    static constexpr ByteSet kUnreserved = kASCIIAlphanumerics.with("-._~");
    return percentEncoded(text, kUnreserved);
}

}  // namespace

URL resolve(std::string_view path) {
    return URL(serviceBaseURL()).resolve(path);
}

URL authenticationURL() {
    return resolve("/api/author/shelf/upload/auth/");
}

URL bookListURL() {
    return resolve("/api/author/shelf/upload/list/");
}

URL manifestURL(std::string_view bookGUID) {
    return resolve("/api/author/shelf/upload/manifest/" + pathSegment(bookGUID) + "/");
}

URL uploadURL(std::string_view bookGUID) {
    return resolve("/api/author/shelf/upload/" + pathSegment(bookGUID) + "/");
}

URL recoverAccountPageURL() {
    return resolve("/account/recover/");
}

URL registerAccountPageURL() {
    return resolve("/account/register/");
}

URL shelfPageURL() {
    return resolve("/shelf/");
}

}  // namespace tomely::ServiceAPI
