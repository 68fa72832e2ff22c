// The request body: kept in memory or in a temporary file, compressed when asked, and the method
// and "Content-Length" that follow from it.
#include <cstdlib>
#include <filesystem>
#include <utility>

#include "http/BlockFileStream.h"
#include "http/DataCompressor.h"
#include "http/HTTPRequest.h"
#include "http/HTTPRequestError.h"
#include "platform/FileIO.h"
#include "platform/SecretText.h"

namespace tomely {
namespace {

// A new, empty file under a unique name in `chosenDirectory` (empty: the system's temporary
// directory), left open for writing in `file`; its path, or "" on failure.
std::string createTemporaryFile(const std::string& chosenDirectory, FileDescriptor& file) {
    std::error_code failure;
    const std::filesystem::path directory = chosenDirectory.empty() ? std::filesystem::temp_directory_path(failure)
                                                                    : std::filesystem::path(chosenDirectory);
    if (failure) {
        return {};
    }
    std::string path = (directory / "HTTPRequestBody-XXXXXX").string();
    file = FileDescriptor(::mkstemp(path.data()));
    return file.isOpen() ? path : std::string();
}

Error bodyStreamError() {
    return httpRequestError(kInternalErrorWhileBuildingRequestType, "Unable to create read stream");
}

}  // namespace

bool HTTPRequest::openPostBodyFile() {
    std::scoped_lock lock(cancelledLock_);
    if (!postBodyFile_.isOpen() && !bodyError_) {
        postBodyFilePath_ = createTemporaryFile(temporaryFileDirectory_, postBodyFile_);
        if (postBodyFilePath_.empty()) {
            bodyError_ = bodyStreamError();
        } else {
            didCreateTemporaryPostDataFile_ = true;
        }
    }
    return postBodyFile_.isOpen();
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
    // A failed write would send a body cut short under a length that hides it: refuse instead.
    if (openPostBodyFile() && !writeAll(postBodyFile_.get(), bytes)) {
        bodyError_ = bodyStreamError();
    }
}

void HTTPRequest::appendPostDataFromFile(const std::string& path) {
    std::scoped_lock lock(cancelledLock_);
    InputFile file(path);
    std::vector<std::uint8_t> block(kFileBlockSize);
    for (;;) {
        const std::optional<std::size_t> count = file.read(block);
        if (!count) {
            bodyError_ = httpRequestError(kInternalErrorWhileBuildingRequestType, "No file exists at " + path);
            return;
        }
        if (*count > 0) {
            appendPostData(std::span(block.data(), *count));
        }
        if (*count < block.size()) {
            return;
        }
    }
}

void HTTPRequest::appendPostDataReadWhenSent(const std::string& path) {
    std::scoped_lock lock(cancelledLock_);
    std::error_code failure;
    const auto length = std::filesystem::file_size(path, failure);
    if (failure) {
        bodyError_ = httpRequestError(kInternalErrorWhileBuildingRequestType, "No file exists at " + path);
        return;
    }
    postBodyPieces_.push_back({std::exchange(postBody_, {}), {}, 0});
    postBodyPieces_.push_back({{}, path, length});
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
    if (!postBodyPieces_.empty()) {
        postBodyPieces_.push_back({std::exchange(postBody_, {}), {}, 0});
        postLength_ = 0;
        for (const BodyPiece& piece : postBodyPieces_) {
            postLength_ += piece.filePath.empty() ? piece.bytes.size() : piece.fileLength;
        }
    } else if (!postBodyFilePath_.empty()) {
        if (postBodyFile_.isOpen() && !postBodyFile_.close()) {
            failWithError(bodyStreamError());
            return;
        }
        std::string sentPath = postBodyFilePath_;
        if (shouldCompressRequestBody_) {
            // Only the name is taken: the compression writes the file anew by its path.
            FileDescriptor unused;
            compressedPostBodyFilePath_ = createTemporaryFile(temporaryFileDirectory_, unused);
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

bool HTTPRequest::bodyHoldsSecret() const {
    std::scoped_lock lock(cancelledLock_);
    return secretBody_.has_value();
}

void HTTPRequest::setBodyHoldsSecret() {
    std::scoped_lock lock(cancelledLock_);
    if (!secretBody_) {
        secretBody_.emplace();
    }
}

void HTTPRequest::removeTemporaryFiles() {
    std::scoped_lock lock(cancelledLock_);
    // The body is done with here, wherever it lies: a secret one is overwritten as its files go.
    if (secretBody_) {
        eraseSecret(postBody_);
        for (BodyPiece& piece : postBodyPieces_) {
            eraseSecret(piece.bytes);
        }
        eraseSecret(compressedPostBody_);
        secretBody_.reset();
    }
    postBodyFile_ = FileDescriptor();
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
