#include "http/FormDataRequest.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "http/HTTPRequestError.h"
#include "http/MimeTypes.h"
#include "platform/HexText.h"
#include "platform/SecretText.h"

namespace tomely {
namespace {

constexpr std::string_view kBoundary = "0xKhTmLbOuNdArY";
constexpr std::string_view kOctetStream = "application/octet-stream";

// What form url-encoding keeps as it is.
constexpr ByteSet kUnescaped = kASCIIAlphanumerics.with("-._");

}  // namespace

std::shared_ptr<FormDataRequest> FormDataRequest::requestWithURL(const URL& url) {
    return std::shared_ptr<FormDataRequest>(new FormDataRequest(url));
}

FormDataRequest::~FormDataRequest() {
    eraseSecretFields();
}

void FormDataRequest::eraseSecretFields() {
    std::scoped_lock lock(cancelledLock_);
    if (bodyHoldsSecret()) {
        for (Field& field : postData_) {
            eraseSecret(field.value);
        }
    }
}

void FormDataRequest::addPostValue(std::string_view value, std::string_view key) {
    std::scoped_lock lock(cancelledLock_);
    postData_.push_back(Field{std::string(key), std::string(value)});
}

void FormDataRequest::setPostValue(std::string_view value, std::string_view key) {
    std::scoped_lock lock(cancelledLock_);
    std::erase_if(postData_, [key](const Field& field) { return field.key == key; });
    postData_.push_back(Field{std::string(key), std::string(value)});
}

void FormDataRequest::addFile(const std::string& path, std::string_view key) {
    addFile(path, {}, {}, key);
}

void FormDataRequest::addFile(const std::string& path, std::string_view fileName, std::string_view contentType,
                              std::string_view key) {
    std::scoped_lock lock(cancelledLock_);
    std::error_code failure;
    const bool exists = std::filesystem::is_regular_file(path, failure);
    FilePart part{std::string(key), path, std::string(fileName), std::string(contentType)};
    if (part.fileName.empty()) {
        part.fileName = std::filesystem::path(path).filename().string();
    }
    if (part.contentType.empty()) {
        part.contentType = mimeTypeForFileAtPath(path).value_or(std::string(kOctetStream));
    }
    fileData_.push_back(std::move(part));
    if (!exists) {
        failWithError(httpRequestError(kInternalErrorWhileBuildingRequestType, "No file exists at " + path));
    }
}

void FormDataRequest::setFile(const std::string& path, std::string_view key) {
    setFile(path, {}, {}, key);
}

void FormDataRequest::setFile(const std::string& path, std::string_view fileName, std::string_view contentType,
                              std::string_view key) {
    std::scoped_lock lock(cancelledLock_);
    std::erase_if(fileData_, [key](const FilePart& part) { return part.key == key; });
    addFile(path, fileName, contentType, key);
}

void FormDataRequest::addData(std::vector<std::uint8_t> data, std::string_view key) {
    addData(std::move(data), {}, {}, key);
}

void FormDataRequest::addData(std::vector<std::uint8_t> data, std::string_view fileName, std::string_view contentType,
                              std::string_view key) {
    std::scoped_lock lock(cancelledLock_);
    fileData_.push_back(FilePart{std::string(key), std::move(data), fileName.empty() ? "file" : std::string(fileName),
                                 contentType.empty() ? std::string(kOctetStream) : std::string(contentType)});
}

void FormDataRequest::setData(std::vector<std::uint8_t> data, std::string_view key) {
    setData(std::move(data), {}, {}, key);
}

void FormDataRequest::setData(std::vector<std::uint8_t> data, std::string_view fileName, std::string_view contentType,
                              std::string_view key) {
    std::scoped_lock lock(cancelledLock_);
    std::erase_if(fileData_, [key](const FilePart& part) { return part.key == key; });
    addData(std::move(data), fileName, contentType, key);
}

FormDataRequest::PostFormat FormDataRequest::postFormat() const {
    std::scoped_lock lock(cancelledLock_);
    return postFormat_;
}

void FormDataRequest::setPostFormat(PostFormat format) {
    std::scoped_lock lock(cancelledLock_);
    postFormat_ = format;
}

std::string FormDataRequest::stringEncoding() const {
    std::scoped_lock lock(cancelledLock_);
    return stringEncoding_;
}

void FormDataRequest::setStringEncoding(std::string encoding) {
    std::scoped_lock lock(cancelledLock_);
    stringEncoding_ = std::move(encoding);
}

std::string FormDataRequest::encodeURL(std::string_view text, std::string_view encoding) {
    const auto bytes = encodeText(text, encoding);
    if (!bytes) {
        return {};
    }
    return percentEncoded(*bytes, kUnescaped);
}

void FormDataRequest::appendText(std::string_view text) {
    // Text with no form in the encoding is left out, as the escaping leaves out what it cannot
    // escape.
    if (const auto bytes = encodeText(text, stringEncoding_)) {
        appendPostData(*bytes);
    }
}

std::string FormDataRequest::charsetParameter() const {
    std::string name = ianaCharsetName(stringEncoding_).value_or(stringEncoding_);
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return name;
}

void FormDataRequest::buildPostBody() {
    std::scoped_lock lock(cancelledLock_);
    if (haveBuiltPostBody()) {
        return;
    }
    if (!postData_.empty() || !fileData_.empty()) {
        // Files are read as the body goes out, except into a body to be compressed, which is
        // written to a temporary file first.
        if (!fileData_.empty() && shouldCompressRequestBody()) {
            setShouldStreamPostDataFromDisk(true);
        }
        if (postFormat_ == URLEncodedPostFormat) {
            buildURLEncodedPostBody();
        } else {
            buildMultipartFormDataPostBody();
        }
        // The body holds them now.
        eraseSecretFields();
    }
    HTTPRequest::buildPostBody();
}

void FormDataRequest::buildURLEncodedPostBody() {
    if (!fileData_.empty()) {
        // Files cannot be url-encoded: the form goes as multipart instead.
        postFormat_ = MultipartFormDataPostFormat;
        buildMultipartFormDataPostBody();
        return;
    }
    addRequestHeader("Content-Type", "application/x-www-form-urlencoded; charset=" + charsetParameter());
    for (std::size_t i = 0; i < postData_.size(); ++i) {
        const Field& field = postData_[i];
        std::string pair = encodeURL(field.key, stringEncoding_) + "=" + encodeURL(field.value, stringEncoding_);
        if (i + 1 < postData_.size()) {
            pair += '&';
        }
        appendText(pair);
    }
}

void FormDataRequest::buildMultipartFormDataPostBody() {
    const std::string boundary(kBoundary);
    addRequestHeader("Content-Type", "multipart/form-data; charset=" + charsetParameter() + "; boundary=" + boundary);
    const std::string separator = "\r\n--" + boundary + "\r\n";
    appendText("--" + boundary + "\r\n");
    for (std::size_t i = 0; i < postData_.size(); ++i) {
        appendText("Content-Disposition: form-data; name=\"" + postData_[i].key + "\"\r\n\r\n");
        appendText(postData_[i].value);
        if (i + 1 < postData_.size() || !fileData_.empty()) {
            appendText(separator);
        }
    }
    for (std::size_t i = 0; i < fileData_.size(); ++i) {
        const FilePart& part = fileData_[i];
        appendText("Content-Disposition: form-data; name=\"" + part.key + "\"; filename=\"" + part.fileName + "\"\r\n");
        appendText("Content-Type: " + part.contentType + "\r\n\r\n");
        if (const auto* bytes = std::get_if<std::vector<std::uint8_t>>(&part.data)) {
            appendPostData(*bytes);
        } else if (shouldStreamPostDataFromDisk()) {
            appendPostDataFromFile(std::get<std::string>(part.data));
        } else {
            appendPostDataReadWhenSent(std::get<std::string>(part.data));
        }
        if (i + 1 < fileData_.size()) {
            appendText(separator);
        }
    }
    appendText("\r\n--" + boundary + "--\r\n");
}

}  // namespace tomely
