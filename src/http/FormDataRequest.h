#pragma once

#include <concepts>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "http/HTTPRequest.h"
#include "platform/TextEncoding.h"

namespace tomely {

// An HTML-form style POST: named text fields and named file parts, sent url-encoded or as
// multipart/form-data. The body is built when the request starts (fields before files, whatever
// the order of the calls). File parts are not copied into the body: they are read, 256 KiB at a
// time, as the body goes out, so no file is ever held in memory whole, and each must keep its
// length until the request ends. Only a body to be compressed is written to a temporary file
// first, deleted when the request ends. Without fields or files the body set with setPostBody() is sent unchanged and
// no "Content-Type" is added. Configure from one thread before starting, like any request.
class FormDataRequest : public HTTPRequest {
public:
    enum PostFormat : int { MultipartFormDataPostFormat = 0, URLEncodedPostFormat = 1 };

    [[nodiscard]] static std::shared_ptr<FormDataRequest> requestWithURL(const URL& url);
    // With bodyHoldsSecret(), the fields are overwritten once the body is built, or when the
    // request goes unbuilt.
    ~FormDataRequest() override;

    // Appends a field; a key may occur more than once.
    void addPostValue(std::string_view value, std::string_view key);
    // Numbers are sent as decimal text, booleans as "1" and "0".
    template <std::integral Number>
    void addPostValue(Number value, std::string_view key) {
        addPostValue(numberText(value), key);
    }
    // Removes every field with `key`, then appends the new one at the end.
    void setPostValue(std::string_view value, std::string_view key);
    template <std::integral Number>
    void setPostValue(Number value, std::string_view key) {
        setPostValue(numberText(value), key);
    }

    // A file part read from `path` when the body is built. A missing file name becomes the path's
    // last component, a missing content type the file's MIME type. When no regular file exists at
    // `path` the part is still recorded, but the request fails at once with code 6 "No file exists
    // at <path>" and sends nothing.
    void addFile(const std::string& path, std::string_view key);
    void addFile(const std::string& path, std::string_view fileName, std::string_view contentType,
                 std::string_view key);
    // As addFile, after removing every file part with `key`.
    void setFile(const std::string& path, std::string_view key);
    void setFile(const std::string& path, std::string_view fileName, std::string_view contentType,
                 std::string_view key);

    // A file part from bytes: named "file" and typed "application/octet-stream" unless given.
    void addData(std::vector<std::uint8_t> data, std::string_view key);
    void addData(std::vector<std::uint8_t> data, std::string_view fileName, std::string_view contentType,
                 std::string_view key);
    void setData(std::vector<std::uint8_t> data, std::string_view key);
    void setData(std::vector<std::uint8_t> data, std::string_view fileName, std::string_view contentType,
                 std::string_view key);

    [[nodiscard]] PostFormat postFormat() const;
    void setPostFormat(PostFormat format);
    // The encoding (an IANA name) of every text written into the body; UTF-8 by default.
    [[nodiscard]] std::string stringEncoding() const;
    void setStringEncoding(std::string encoding);

    void buildPostBody() override;

    // "%XX" for every byte of `text` in `encoding` except ASCII letters, digits, "-", "." and "_";
    // a space becomes "%20". Empty when the text has no form in that encoding.
    [[nodiscard]] static std::string encodeURL(std::string_view text, std::string_view encoding);

protected:
    explicit FormDataRequest(const URL& url) : HTTPRequest(url) {}

private:
    struct Field {
        std::string key;
        std::string value;
    };
    struct FilePart {
        std::string key;
        // Bytes, or the path of a file to copy.
        std::variant<std::vector<std::uint8_t>, std::string> data;
        std::string fileName;
        std::string contentType;
    };

    template <std::integral Number>
    static std::string numberText(Number value) {
        if constexpr (std::same_as<Number, bool>) {
            return value ? "1" : "0";
        } else {
            return std::to_string(value);
        }
    }

    void appendText(std::string_view text);
    // The charset parameter: the lower-case IANA name of the string encoding.
    [[nodiscard]] std::string charsetParameter() const;
    void buildURLEncodedPostBody();
    void buildMultipartFormDataPostBody();
    void eraseSecretFields();

    std::vector<Field> postData_;
    std::vector<FilePart> fileData_;
    PostFormat postFormat_ = URLEncodedPostFormat;
    std::string stringEncoding_{kUTF8Encoding};
};

}  // namespace tomely
