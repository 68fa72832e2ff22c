#include "app/LaunchArguments.h"

#include <gtest/gtest.h>

namespace tomely {
namespace {

TEST(LaunchArgumentsTest, HelpAndVersionWinOverEverythingElseAndOneBookIsAllowed) {
    using Kind = LaunchRequest::Kind;
    struct Case {
        const char* name;
        std::vector<std::string> arguments;
        Kind kind;
        std::optional<std::string> book;
        std::string problem;
    };
    const Case cases[] = {
        {"nothing", {}, Kind::Run, std::nullopt, ""},
        {"a book", {"walk.iba"}, Kind::Run, "walk.iba", ""},
        {"a file URL", {"file:///home/ann/walk.iba"}, Kind::Run, "file:///home/ann/walk.iba", ""},
        {"a book named -", {"-"}, Kind::Run, "-", ""},
        {"--help", {"--help"}, Kind::Help, std::nullopt, ""},
        {"-h after a book", {"walk.iba", "-h"}, Kind::Help, std::nullopt, ""},
        {"--version", {"--version"}, Kind::Version, std::nullopt, ""},
        {"--help before --version", {"--version", "--help"}, Kind::Help, std::nullopt, ""},
        {"two books", {"a.iba", "b.iba"}, Kind::Usage, std::nullopt, "one book at a time"},
        {"an unknown option", {"--verbose"}, Kind::Usage, std::nullopt, "unknown option --verbose"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const LaunchRequest request = readLaunchArguments(c.arguments);
        EXPECT_EQ(request.kind, c.kind);
        EXPECT_EQ(request.book, c.book);
        EXPECT_EQ(request.problem, c.problem);
    }
}

TEST(LaunchArgumentsTest, TheVersionIsTheProgramsNameAndVersion) {
    EXPECT_EQ(versionText(), "tomely-uploader 1.0.0\n");
    EXPECT_EQ(helpText().substr(0, helpText().find('\n')), "Usage: tomely-uploader [BOOK.iba]");
}

}  // namespace
}  // namespace tomely
