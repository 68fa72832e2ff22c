#pragma once

#include <string>
#include <utility>
#include <vector>

#include "ShelfServer.h"

namespace tomely::shelf {

struct CommandLine {
    ServerOptions server;
    std::vector<std::pair<std::string, std::string>> users;  // e-mail address, password
    std::vector<std::string> userFiles;                      // read by the program; "-" is standard input
    bool help = false;
};

struct CommandLineParse {
    CommandLine commandLine;
    std::string error;  // empty when the arguments are usable
};

// Parses the arguments after the program name. Pure.
[[nodiscard]] CommandLineParse parseCommandLine(const std::vector<std::string>& arguments);

[[nodiscard]] const char* usageText();

}  // namespace tomely::shelf
