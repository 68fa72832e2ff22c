#include "http/MimeTypes.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace tomely {
namespace {

constexpr std::string_view kDefaultType = "application/octet-stream";

std::string lowered(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return result;
}

// Read once: the database does not change while the application runs.
const std::string& systemMimeTypes() {
    static const std::string contents = [] {
        std::ifstream file("/etc/mime.types");
        std::ostringstream text;
        text << file.rdbuf();
        return text.str();
    }();
    return contents;
}

}  // namespace

std::string mimeTypeForExtension(std::string_view extension, std::string_view mimeTypesFile) {
    const std::string wanted = lowered(extension);
    if (wanted.empty()) {
        return std::string(kDefaultType);
    }
    std::istringstream lines{std::string(mimeTypesFile)};
    std::string line;
    while (std::getline(lines, line)) {
        line = line.substr(0, line.find('#'));
        std::istringstream words(line);
        std::string type;
        std::string listed;
        if (!(words >> type)) {
            continue;
        }
        while (words >> listed) {
            if (lowered(listed) == wanted) {
                return type;
            }
        }
    }
    return std::string(kDefaultType);
}

std::optional<std::string> mimeTypeForFileAtPath(const std::string& path) {
    std::error_code failure;
    if (!std::filesystem::is_regular_file(path, failure)) {
        return std::nullopt;
    }
    std::string extension = std::filesystem::path(path).extension().string();
    if (!extension.empty()) {
        extension.erase(0, 1);
    }
    return mimeTypeForExtension(extension, systemMimeTypes());
}

}  // namespace tomely
