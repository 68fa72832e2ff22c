#include "http/BlockFileStream.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "http/HTTPRequestError.h"
#include "platform/PosixError.h"

namespace tomely {
namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

Error fileError(const std::string& message, int errorNumber) {
    Error error = httpRequestError(kCompressionError, message);
    error.underlyingError = std::make_shared<const Error>(posixError(errorNumber));
    return error;
}

}  // namespace

bool streamFileInBlocks(const std::string& sourcePath, const std::string& destinationPath, std::string_view verb,
                        const BlockTransform& step, Error* error) {
    const std::string prefix = std::string(verb) + " of " + sourcePath + " failed";
    File destination(std::fopen(destinationPath.c_str(), "wb"));
    if (!destination) {
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
    File source(std::fopen(sourcePath.c_str(), "rb"));
    if (!source) {
        report(error, fileError(readFailure, errno));
        return false;
    }
    std::vector<std::uint8_t> block(kFileBlockSize);
    while (!step.done()) {
        const std::size_t count = std::fread(block.data(), 1, block.size(), source.get());
        if (std::ferror(source.get()) != 0) {
            report(error, fileError(readFailure, errno != 0 ? errno : EIO));
            return false;
        }
        const bool isLast = count < block.size() && std::feof(source.get()) != 0;
        Error stepError;
        stepError.code = 0;
        auto output = step.transform(std::span(block.data(), count), isLast, &stepError);
        if (!output && stepError.code != 0) {
            report(error, std::move(stepError));
            return false;
        }
        if (output && !output->empty() &&
            std::fwrite(output->data(), 1, output->size(), destination.get()) != output->size()) {
            report(error, fileError(prefix + " because we were unable to write to the destination data file at " +
                                        destinationPath,
                                    errno != 0 ? errno : EIO));
            return false;
        }
        if (isLast) {
            break;
        }
    }
    if (std::fclose(destination.release()) != 0) {
        report(error,
               fileError(prefix + " because we were unable to write to the destination data file at " + destinationPath,
                         errno != 0 ? errno : EIO));
        return false;
    }
    return true;
}

}  // namespace tomely
