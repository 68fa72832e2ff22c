#include "support/DeepDirectoryListing.h"

#include <dirent.h>
#include <sys/stat.h>

#include <memory>
#include <utility>

namespace tomely {
namespace {

struct Item {
    std::string relativePath;
    unsigned char type;  // d_type; DT_UNKNOWN on file systems that do not report it
};

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

// Reads a directory whole and closes it again, so that the walk holds no descriptor while it
// descends, however deep the tree.
std::vector<Item> readItems(const std::string& directory, const std::string& relativePrefix) {
    std::vector<Item> items;
    std::unique_ptr<DIR, DirCloser> dir(::opendir(directory.c_str()));
    if (!dir) {
        return items;
    }
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        items.push_back({relativePrefix + std::string(name), entry->d_type});
    }
    return items;
}

bool isRealDirectory(const std::string& fullPath, unsigned char type) {
    if (type != DT_UNKNOWN) {
        return type == DT_DIR;
    }
    struct stat info {};
    return ::lstat(fullPath.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Whether the item is something other than a directory, with links followed; a dangling link
// is nothing at all and therefore not listed.
bool isExistingNonDirectory(const std::string& fullPath, unsigned char type) {
    if (type == DT_REG) {
        return true;
    }
    struct stat info {};
    return ::stat(fullPath.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

}  // namespace

std::vector<std::string> deepDirectoryContents(const std::string& path) {
    std::vector<std::string> result;
    // Each level's items, consumed front to back; a directory's items are pushed as a new level
    // as soon as the directory is reached, so they come before its later siblings.
    std::vector<std::pair<std::vector<Item>, std::size_t>> levels;
    levels.emplace_back(readItems(path, ""), 0);
    while (!levels.empty()) {
        auto& [items, next] = levels.back();
        if (next == items.size()) {
            levels.pop_back();
            continue;
        }
        Item item = std::move(items[next++]);
        std::string fullPath = path + "/" + item.relativePath;
        if (isRealDirectory(fullPath, item.type)) {
            auto children = readItems(fullPath, item.relativePath + "/");
            levels.emplace_back(std::move(children), 0);
        } else if (isExistingNonDirectory(fullPath, item.type)) {
            result.push_back(std::move(fullPath));
        }
    }
    return result;
}

}  // namespace tomely
