#pragma once

#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace tomely::test {

// A fresh, empty directory under $TMPDIR (or /tmp), removed with everything in it when the
// object goes. Owned by the test that made it; not shared between threads while it is removed.
class TemporaryDirectory {
public:
    TemporaryDirectory();
    ~TemporaryDirectory();
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

    // The directory's path, without a trailing "/".
    [[nodiscard]] const std::string& path() const { return path_; }
    // The path of `relative` inside the directory.
    [[nodiscard]] std::string pathOf(std::string_view relative) const;

private:
    std::string path_;
};

// Whole-file helpers that fail the running test (and return empty) when the file system refuses.
void writeFile(const std::string& path, std::string_view contents);
[[nodiscard]] std::string readFile(const std::string& path);

// The modification date of the item itself (a link's own, not its target's); -1 when it is missing.
[[nodiscard]] std::time_t modificationTime(const std::string& path);

// Everything below `root`, sorted, as relative paths: directories end in "/", symbolic links read
// "name -> target"; links are not followed.
[[nodiscard]] std::vector<std::string> treeListing(const std::string& root);

// Bytes that do not compress, the same for the same seed.
[[nodiscard]] std::string randomBytes(std::size_t length, unsigned seed);

}  // namespace tomely::test
