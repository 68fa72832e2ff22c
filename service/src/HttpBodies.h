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
    bool complete = true;         // false when the body is over the cap or the library gave up reading
};

// Reads the whole body when its content fits in `limit` bytes. A longer one is not read, or no
// further than the first piece beyond the cap: the rest is still on the connection, so the answer
// to such a request must close it (closeAfterAnswer).
[[nodiscard]] RequestBody readBody(const httplib::Request& request, const httplib::ContentReader& reader,
                                   std::size_t limit);

// The announced Content-Length, or 0 when there is none.
[[nodiscard]] std::size_t announcedLength(const httplib::Request& request);

// A plain-text refusal: the reason, then a line end.
void refuse(httplib::Response& response, int status, const std::string& reason);

}  // namespace tomely::shelf
