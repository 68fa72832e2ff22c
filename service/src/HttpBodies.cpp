#include "HttpBodies.h"

#include "Names.h"

namespace tomely::shelf {

RequestBody readBody(const httplib::Request& request, const httplib::ContentReader& reader, std::size_t limit) {
    RequestBody body;
    if (announcedLength(request) > limit) {
        body.complete = false;
        return body;
    }
    std::size_t kept = 0;
    const auto keep = [&](std::string& into, const char* data, std::size_t length) {
        if (kept + length > limit) {
            return false;
        }
        into.append(data, length);
        kept += length;
        return true;
    };
    if (request.is_multipart_form_data()) {
        body.multipart = true;
        body.complete = reader(
            [&](const httplib::MultipartFormData& item) {
                body.items.push_back({item.name, item.filename, {}});
                return true;
            },
            [&](const char* data, std::size_t length) {
                return body.items.empty() || keep(body.items.back().content, data, length);
            });
    } else {
        // Grown by doubling, the body would take up to twice its size.
        body.bytes.reserve(announcedLength(request));
        body.complete = reader([&](const char* data, std::size_t length) { return keep(body.bytes, data, length); });
    }
    return body;
}

std::size_t announcedLength(const httplib::Request& request) {
    const auto length = parseDecimal(request.get_header_value("Content-Length"));
    return length ? static_cast<std::size_t>(*length) : 0;
}

void refuse(httplib::Response& response, int status, const std::string& reason) {
    response.status = status;
    response.set_content(reason + "\n", "text/plain; charset=utf-8");
}

}  // namespace tomely::shelf
