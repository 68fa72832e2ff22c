#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include <httplib.h>

#include "PartUpload.h"

// Reading request bodies through the HTTP library's streaming reader, with a cap of our own.
namespace tomely::shelf {

struct RequestBody {
    bool multipart = false;
    std::string bytes;            // the body, when it is not multipart
    std::vector<FormItem> items;  // the items, when it is
    bool tooLarge = false;        // more than the cap arrived; what was kept is incomplete
    bool complete = true;         // false when the library gave up reading (it set the status)
};

// Reads the whole body, keeping at most `limit` bytes of content and draining the rest, so the
// answer can go out on a connection that is ready for the next request.
[[nodiscard]] RequestBody readBody(const httplib::Request& request, const httplib::ContentReader& reader,
                                   std::size_t limit);

// The announced Content-Length, or 0 when there is none.
[[nodiscard]] std::size_t announcedLength(const httplib::Request& request);

// A plain-text refusal: the reason, then a line end.
void refuse(httplib::Response& response, int status, const std::string& reason);

}  // namespace tomely::shelf
