#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace tomely::testing {

// A fresh directory under the system's temporary directory, removed with everything in it when
// the object goes. Each instance is unique, so tests running in parallel never share one.
class TemporaryDirectory {
public:
    TemporaryDirectory() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tomely-test-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            ADD_FAILURE() << "cannot create a temporary directory from " << pattern;
        }
        path_ = pattern;
    }
    ~TemporaryDirectory() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

    [[nodiscard]] const std::filesystem::path& path() const { return path_; }
    // The absolute path of `relative` inside the directory, as text.
    [[nodiscard]] std::string filePath(const std::string& relative) const { return (path_ / relative).string(); }

private:
    std::filesystem::path path_;
};

}  // namespace tomely::testing
