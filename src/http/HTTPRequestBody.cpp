// The request body: kept in memory or in a temporary file, compressed when asked, and the method
// and "Content-Length" that follow from it.
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <unistd.h>

#include "http/BlockFileStream.h"
#include "http/DataCompressor.h"
#include "http/HTTPRequest.h"
#include "http/HTTPRequestError.h"

namespace tomely {
namespace {

// A new, empty file under a unique name in `chosenDirectory` (empty: the system's temporary directory);
// its path, or "" on failure.
std::string createTemporaryFile(const std::string& chosenDirectory, std::FILE** stream) {
    std::error_code failure;
    const std::filesystem::path directory = chosenDirectory.empty() ? std::filesystem::temp_directory_path(failure)
                                                                    : std::filesystem::path(chosenDirectory);
    if (failure) {
        return {};
    }
    std::string path = (directory / "HTTPRequestBody-XXXXXX").string();
    const int descriptor = ::mkstemp(path.data());
    if (descriptor < 0) {
        return {};
    }
    if (stream == nullptr) {
        ::close(descriptor);
        return path;
    }
    *stream = ::fdopen(descriptor, "wb");
    if (*stream == nullptr) {
        ::close(descriptor);
        std::filesystem::remove(path, failure);
        return {};
    }
    return path;
}

Error bodyStreamError() {
    return httpRequestError(kInternalErrorWhileBuildingRequestType, "Unable to create read stream");
}

}  // namespace

std::FILE* HTTPRequest::postBodyWriteStream() {
    std::scoped_lock lock(cancelledLock_);
    if (postBodyWriteStream_ == nullptr && !bodyError_) {
        postBodyFilePath_ = createTemporaryFile(temporaryFileDirectory_, &postBodyWriteStream_);
        if (postBodyFilePath_.empty()) {
            bodyError_ = bodyStreamError();
        } else {
            didCreateTemporaryPostDataFile_ = true;
        }
    }
    return postBodyWriteStream_;
}

std::string HTTPRequest::temporaryFileDirectory() const {
    std::scoped_lock lock(cancelledLock_);
    return temporaryFileDirectory_;
}

void HTTPRequest::setTemporaryFileDirectory(std::string directory) {
    std::scoped_lock lock(cancelledLock_);
    temporaryFileDirectory_ = std::move(directory);
}

void HTTPRequest::setPostBody(std::vector<std::uint8_t> body) {
    std::scoped_lock lock(cancelledLock_);
    postBody_ = std::move(body);
}

void HTTPRequest::appendPostData(std::span<const std::uint8_t> bytes) {
    std::scoped_lock lock(cancelledLock_);
    if (!shouldStreamPostDataFromDisk_) {
        postBody_.insert(postBody_.end(), bytes.begin(), bytes.end());
        return;
    }
    std::FILE* stream = postBodyWriteStream();
    // A short write would send a body cut short under a length that hides it: refuse instead.
    if (stream != nullptr && !bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), stream) != bytes.size()) {
        bodyError_ = bodyStreamError();
    }
}

void HTTPRequest::appendPostDataFromFile(const std::string& path) {
    std::scoped_lock lock(cancelledLock_);
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        bodyError_ = httpRequestError(kInternalErrorWhileBuildingRequestType, "No file exists at " + path);
        return;
    }
    std::vector<std::uint8_t> block(kFileBlockSize);
    while (file) {
        file.read(reinterpret_cast<char*>(block.data()), static_cast<std::streamsize>(block.size()));
        const auto count = static_cast<std::size_t>(file.gcount());
        if (count > 0) {
            appendPostData(std::span(block.data(), count));
        }
    }
    if (file.bad()) {
        bodyError_ = httpRequestError(kInternalErrorWhileBuildingRequestType, "No file exists at " + path);
    }
}

bool HTTPRequest::haveBuiltPostBody() const {
    std::scoped_lock lock(cancelledLock_);
    return haveBuiltPostBody_;
}

void HTTPRequest::buildPostBody() {
    std::scoped_lock lock(cancelledLock_);
    if (haveBuiltPostBody_) {
        return;
    }
    haveBuiltPostBody_ = true;
    if (bodyError_) {
        failWithError(*bodyError_);
        return;
    }
    if (!postBodyFilePath_.empty()) {
        if (postBodyWriteStream_ != nullptr) {
            const bool closed = std::fclose(postBodyWriteStream_) == 0;
            postBodyWriteStream_ = nullptr;
            if (!closed) {
                failWithError(bodyStreamError());
                return;
            }
        }
        std::string sentPath = postBodyFilePath_;
        if (shouldCompressRequestBody_) {
            compressedPostBodyFilePath_ = createTemporaryFile(temporaryFileDirectory_, nullptr);
            if (compressedPostBodyFilePath_.empty()) {
                failWithError(bodyStreamError());
                return;
            }
            Error compressionFailure;
            if (!DataCompressor::compressDataFromFile(postBodyFilePath_, compressedPostBodyFilePath_,
                                                      &compressionFailure)) {
                failWithError(compressionFailure);
                return;
            }
            sentPath = compressedPostBodyFilePath_;
        }
        std::error_code failure;
        const auto size = std::filesystem::file_size(sentPath, failure);
        if (failure) {
            failWithError(
                httpRequestError(kFileManagementError, "Failed to get attributes for file at path '" + sentPath + "'"));
            return;
        }
        postLength_ = size;
    } else if (shouldCompressRequestBody_ && !postBody_.empty()) {
        Error compressionFailure;
        auto compressed = DataCompressor::compressData(postBody_, &compressionFailure);
        if (!compressed) {
            failWithError(compressionFailure);
            return;
        }
        compressedPostBody_ = std::move(*compressed);
        postLength_ = compressedPostBody_.size();
    } else {
        postLength_ = postBody_.size();
    }
    if (postLength_ != 0) {
        if (requestMethod_ == "GET" || requestMethod_ == "DELETE" || requestMethod_ == "HEAD") {
            setRequestMethod("POST");
        }
        addRequestHeader("Content-Length", std::to_string(postLength_));
    }
}

void HTTPRequest::removeTemporaryFiles() {
    std::scoped_lock lock(cancelledLock_);
    if (postBodyWriteStream_ != nullptr) {
        std::fclose(postBodyWriteStream_);
        postBodyWriteStream_ = nullptr;
    }
    std::error_code ignored;
    if (didCreateTemporaryPostDataFile_) {
        std::filesystem::remove(postBodyFilePath_, ignored);
        didCreateTemporaryPostDataFile_ = false;
    }
    if (!compressedPostBodyFilePath_.empty()) {
        std::filesystem::remove(compressedPostBodyFilePath_, ignored);
        compressedPostBodyFilePath_.clear();
    }
}

}  // namespace tomely
