#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tomely::bench {

// What the benchmarks that generate a book share on their command line:
//   [--megabytes N] [--rounds R] [--directory PARENT]
struct BookRunOptions {
    std::uint64_t megabytes = 0;
    int rounds = 1;
    // Where the generated files go: $TMPDIR, or /tmp.
    std::filesystem::path parent;
};

// The options after the program's name, on top of `defaults`; nothing (after a usage line on
// standard error) when one is unknown.
[[nodiscard]] std::optional<BookRunOptions> parseBookRunOptions(const std::vector<std::string>& arguments,
                                                                BookRunOptions defaults, const char* program);

// The "key value" lines a child process of a benchmark prints.
[[nodiscard]] std::map<std::string, double> parseKeyValues(const std::string& text);

// CPU time of the calling thread.
[[nodiscard]] double threadCpuSeconds();

}  // namespace tomely::bench
