#include "PartStore.h"

#include <fstream>
#include <iterator>
#include <system_error>

#include "FileWrites.h"
#include "PartBytes.h"

namespace tomely::shelf {

PartStore::PartStore(std::filesystem::path directory) : directory_(std::move(directory)) {
    std::filesystem::create_directories(directory_);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(directory_)) {
        if (entry.is_regular_file() && isTemporaryName(entry.path())) {
            std::error_code ignored;
            std::filesystem::remove(entry.path(), ignored);
        }
    }
}

std::filesystem::path PartStore::pathOf(const std::string& fingerprint) const {
    return directory_ / fingerprint.substr(0, 2) / fingerprint;
}

void PartStore::put(const std::string& fingerprint, std::string_view deflated) const {
    if (get(fingerprint)) {
        return;
    }
    const auto path = pathOf(fingerprint);
    std::filesystem::create_directories(path.parent_path());
    writeFileDurably(path, deflated);
}

std::optional<std::string> PartStore::get(const std::string& fingerprint) const {
    std::ifstream in(pathOf(fingerprint), std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad() || fingerprintOf(bytes) != fingerprint) {
        return std::nullopt;
    }
    return bytes;
}

}  // namespace tomely::shelf
