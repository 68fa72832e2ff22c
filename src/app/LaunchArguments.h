#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tomely {

// What tomely-uploader's command line asks for.
struct LaunchRequest {
    enum class Kind {
        Run,      // open the window, proposing `book` if one is given
        Help,     // print helpText() and end
        Version,  // print versionText() and end
        Usage,    // print `problem` and the usage line, and end with status 2
    };
    Kind kind = Kind::Run;
    std::optional<std::string> book;
    std::string problem;
};

// `arguments` without the program's name. "--help" or "-h" anywhere asks for help, else
// "--version" for the version; otherwise at most one argument, not an option, names the book. Read
// them before the window system starts, so that help and version need no display.
[[nodiscard]] LaunchRequest readLaunchArguments(const std::vector<std::string>& arguments);

[[nodiscard]] std::string helpText();
// "tomely-uploader 1.0.0" and a newline.
[[nodiscard]] std::string versionText();

}  // namespace tomely
