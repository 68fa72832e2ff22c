#include "http/BlockFileStream.h"

#include <filesystem>
#include <memory>

#include "http/HTTPRequestError.h"
#include "platform/FileIO.h"

namespace tomely {
namespace {

Error fileError(const std::string& message, Error systemError) {
    Error error = httpRequestError(kCompressionError, message);
    error.underlyingError = std::make_shared<const Error>(std::move(systemError));
    return error;
}

}  // namespace

bool streamFileInBlocks(const std::string& sourcePath, const std::string& destinationPath, std::string_view verb,
                        const BlockTransform& step, Error* error) {
    const std::string prefix = std::string(verb) + " of " + sourcePath + " failed";
    FileDescriptor destination = createFileForWriting(destinationPath);
    if (!destination.isOpen()) {
        report(error,
               httpRequestError(kCompressionError, prefix + " because we were to create a file at " + destinationPath));
        return false;
    }
    std::error_code ignored;
    if (!std::filesystem::exists(sourcePath, ignored)) {
        report(error, httpRequestError(kCompressionError, prefix + " the file does not exist"));
        return false;
    }
    const std::string readFailure = prefix + " because we were unable to read from the source data file";
    const std::string writeFailure =
        prefix + " because we were unable to write to the destination data file at " + destinationPath;
    Error systemError;
    InputFile source(sourcePath, &systemError);
    if (!source.isOpen()) {
        report(error, fileError(readFailure, std::move(systemError)));
        return false;
    }
    std::vector<std::uint8_t> block(kFileBlockSize);
    while (!step.done()) {
        const std::optional<std::size_t> count = source.read(block, &systemError);
        if (!count) {
            report(error, fileError(readFailure, std::move(systemError)));
            return false;
        }
        const bool isLast = *count < block.size();
        auto output = step.transform(std::span(block.data(), *count), isLast, error);
        if (!output) {
            return false;
        }
        if (!writeAll(destination.get(), *output, &systemError)) {
            report(error, fileError(writeFailure, std::move(systemError)));
            return false;
        }
        if (isLast) {
            break;
        }
    }
    if (!destination.close(&systemError)) {
        report(error, fileError(writeFailure, std::move(systemError)));
        return false;
    }
    return true;
}

}  // namespace tomely
