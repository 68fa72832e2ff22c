#include "app/LaunchArguments.h"

#include <algorithm>

#include "http/UserAgent.h"

namespace tomely {

LaunchRequest readLaunchArguments(const std::vector<std::string>& arguments) {
    const auto given = [&arguments](const char* option) {
        return std::find(arguments.begin(), arguments.end(), option) != arguments.end();
    };
    if (given("--help") || given("-h")) {
        return {LaunchRequest::Kind::Help, std::nullopt, {}};
    }
    if (given("--version")) {
        return {LaunchRequest::Kind::Version, std::nullopt, {}};
    }
    if (arguments.empty()) {
        return {};
    }
    if (arguments.size() > 1) {
        return {LaunchRequest::Kind::Usage, std::nullopt, "one book at a time"};
    }
    if (arguments.front().size() > 1 && arguments.front().front() == '-') {
        return {LaunchRequest::Kind::Usage, std::nullopt, "unknown option " + arguments.front()};
    }
    return {LaunchRequest::Kind::Run, arguments.front(), {}};
}

std::string helpText() {
    return "Usage: tomely-uploader [BOOK.iba]\n"
           "Publishes an iBooks Author book to your Tomely shelf: sign in, choose the book, replace one\n"
           "of your books or name a new one, and only what has changed is uploaded.\n"
           "\n"
           "  BOOK.iba       the book to propose once you have signed in (a path or a file: URL)\n"
           "  -h, --help     print this text and exit\n"
           "  --version      print the version and exit\n"
           "\n"
           "TOMELY_SERVICE_URL, when set, names the Tomely service to publish to. To publish from a\n"
           "terminal or a script, use tomely-publish.\n";
}

std::string versionText() {
    return "tomely-uploader " + applicationInfo().shortVersion + "\n";
}

}  // namespace tomely
