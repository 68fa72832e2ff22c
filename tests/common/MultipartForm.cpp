#include "common/MultipartForm.h"

#include <zlib.h>

namespace tomely::test {
namespace {

constexpr std::string_view kDelimiter = "--0xKhTmLbOuNdArY";

// The value of `attribute="..."` in a Content-Disposition line.
std::optional<std::string> attribute(std::string_view head, std::string_view name) {
    const std::string key = std::string(name) + "=\"";
    const std::size_t start = head.find(key);
    if (start == std::string_view::npos) {
        return std::nullopt;
    }
    const std::size_t from = start + key.size();
    return std::string(head.substr(from, head.find('"', from) - from));
}

}  // namespace

std::vector<FormItem> parseMultipart(std::string_view body) {
    std::vector<FormItem> items;
    std::size_t at = body.find(kDelimiter);
    while (at != std::string_view::npos && body.substr(at + kDelimiter.size(), 2) == "\r\n") {
        const std::size_t headStart = at + kDelimiter.size() + 2;
        const std::size_t headEnd = body.find("\r\n\r\n", headStart);
        const std::size_t next = body.find(std::string("\r\n") + std::string(kDelimiter), headEnd);
        if (headEnd == std::string_view::npos || next == std::string_view::npos) {
            return {};
        }
        const std::string_view head = body.substr(headStart, headEnd - headStart);
        FormItem item{attribute(head, " name").value_or(""), attribute(head, "filename"), "",
                      std::string(body.substr(headEnd + 4, next - headEnd - 4))};
        if (const std::size_t type = head.find("Content-Type: "); type != std::string_view::npos) {
            item.contentType = std::string(head.substr(type + 14, head.find("\r\n", type) - type - 14));
        }
        items.push_back(std::move(item));
        at = next + 2;
    }
    return items;
}

std::optional<std::string> formValue(const std::vector<FormItem>& items, std::string_view name) {
    for (const FormItem& item : items) {
        if (item.name == name) {
            return item.content;
        }
    }
    return std::nullopt;
}

std::optional<std::string> inflateRaw(std::string_view deflated) {
    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) {
        return std::nullopt;
    }
    std::string out;
    char buffer[65536];
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(deflated.data()));
    stream.avail_in = static_cast<uInt>(deflated.size());
    int status = Z_OK;
    while (status == Z_OK && (stream.avail_in > 0 || stream.avail_out == 0)) {
        stream.next_out = reinterpret_cast<Bytef*>(buffer);
        stream.avail_out = sizeof buffer;
        status = inflate(&stream, Z_NO_FLUSH);
        out.append(buffer, sizeof buffer - stream.avail_out);
    }
    inflateEnd(&stream);
    return status == Z_OK || status == Z_STREAM_END || status == Z_BUF_ERROR ? std::optional(out) : std::nullopt;
}

}  // namespace tomely::test
