#include "platform/FileIO.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <cerrno>

#include "common/TemporaryDirectory.h"
#include "platform/PosixError.h"

namespace tomely {
namespace {

std::vector<std::uint8_t> bytes(std::string_view text) {
    return {text.begin(), text.end()};
}

void expectPosixError(const Error& error, int code) {
    EXPECT_EQ(error.domain, kPOSIXErrorDomain);
    EXPECT_EQ(error.code, code);
    EXPECT_EQ(error.localizedDescription(), posixError(code).localizedDescription());
}

TEST(FileIOTest, WholeFilesGoInAndComeBackUnchanged) {
    test::TemporaryDirectory directory;
    const std::string path = directory.pathOf("file");
    for (const std::size_t size : {0UL, 1UL, 65536UL, 1000001UL}) {
        SCOPED_TRACE(size);
        std::vector<std::uint8_t> contents(size);
        for (std::size_t i = 0; i < size; ++i) {
            contents[i] = static_cast<std::uint8_t>(i * 7);
        }
        ASSERT_TRUE(writeFileAtomically(path, contents));
        EXPECT_EQ(readWholeFile(path), contents);
    }
    EXPECT_EQ(test::treeListing(directory.path()), std::vector<std::string>{"file"}) << "no temporary file left";
}

TEST(FileIOTest, FailuresAreTheSystemsErrors) {
    test::TemporaryDirectory directory;
    Error error;
    EXPECT_FALSE(readWholeFile(directory.pathOf("missing"), &error));
    expectPosixError(error, ENOENT);

    EXPECT_FALSE(writeFileAtomically(directory.pathOf("no/such/folder"), bytes("x"), &error));
    expectPosixError(error, ENOENT);

    InputFile folder(directory.path());
    ASSERT_TRUE(folder.isOpen());
    std::vector<std::uint8_t> buffer(4);
    EXPECT_FALSE(folder.read(buffer, &error));
    expectPosixError(error, EISDIR);

    FileDescriptor full(::open("/dev/full", O_WRONLY | O_CLOEXEC));
    ASSERT_TRUE(full.isOpen());
    EXPECT_FALSE(writeAll(full.get(), bytes("no room"), &error));
    expectPosixError(error, ENOSPC);
}

}  // namespace
}  // namespace tomely
