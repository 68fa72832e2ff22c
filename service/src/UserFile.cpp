#include "UserFile.h"

#include <fstream>
#include <iostream>
#include <iterator>

#include "Names.h"

namespace tomely::shelf {

std::optional<UserEntry> parseUserEntry(std::string_view text) {
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon + 1 == text.size() || !isPlausibleEmail(text.substr(0, colon))) {
        return std::nullopt;
    }
    return UserEntry{std::string(text.substr(0, colon)), std::string(text.substr(colon + 1))};
}

UserFileParse parseUserFile(std::string_view text) {
    UserFileParse parse;
    std::size_t number = 0;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        auto line = text.substr(start, end - start);
        start = end + 1;
        ++number;
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (line.empty() || line.front() == '#') {
            continue;
        }
        auto entry = parseUserEntry(line);
        if (!entry) {
            // The line may hold a password: say where it is, not what it says.
            return {{}, "line " + std::to_string(number) + " is not EMAIL:PASSWORD with a non-empty password"};
        }
        parse.users.push_back(std::move(*entry));
    }
    return parse;
}

UserFileParse readUserFile(const std::string& path) {
    std::string text;
    if (path == "-") {
        text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    } else {
        std::ifstream file(path, std::ios::binary);
        if (!file) {
            return {{}, "cannot read the user file " + path};
        }
        text.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }
    auto parse = parseUserFile(text);
    if (!parse.error.empty()) {
        parse.error = (path == "-" ? std::string("standard input") : path) + ", " + parse.error;
    }
    return parse;
}

}  // namespace tomely::shelf
