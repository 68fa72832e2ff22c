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
