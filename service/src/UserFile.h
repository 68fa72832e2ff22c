#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The accounts an operator gives the service at start: "EMAIL:PASSWORD", on the command line or
// one a line in a file or on standard input, which other local users cannot read in `ps`.
namespace tomely::shelf {

using UserEntry = std::pair<std::string, std::string>;  // e-mail address, password

// Split at the first ":"; nothing unless the address is plausible and the password not empty.
[[nodiscard]] std::optional<UserEntry> parseUserEntry(std::string_view text);

struct UserFileParse {
    std::vector<UserEntry> users;
    std::string error;  // empty when every line was usable
};

// One entry a line; blank lines and lines starting with "#" are skipped; CRLF line ends are
// accepted. The error names the first unusable line by number, never by its content.
[[nodiscard]] UserFileParse parseUserFile(std::string_view text);

// Reads and parses the file, or standard input for "-".
[[nodiscard]] UserFileParse readUserFile(const std::string& path);

}  // namespace tomely::shelf
