#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/TemporaryDirectory.h"

namespace tomely::test {

using Bytes = std::vector<std::uint8_t>;

// Compressible text: numbered lines, cut to `length`. golden_fingerprints.py makes the same bytes.
inline Bytes text(std::size_t length) {
    Bytes out;
    out.reserve(length + 64);
    for (int i = 0; out.size() < length; ++i) {
        char line[64];
        const int n = std::snprintf(line, sizeof line, "%08d every part file keeps the same fingerprint\n", i);
        out.insert(out.end(), line, line + n);
    }
    out.resize(length);
    return out;
}

// Incompressible bytes: the top byte of a 32-bit linear congruential generator seeded with
// `seed`. golden_fingerprints.py makes the same bytes.
inline Bytes noise(std::size_t length, std::uint32_t seed) {
    Bytes out(length);
    std::uint32_t state = seed;
    for (std::uint8_t& byte : out) {
        state = state * 1103515245U + 12345U;
        byte = static_cast<std::uint8_t>(state >> 24);
    }
    return out;
}

inline Bytes bytesOf(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

inline void writeBytes(const std::string& path, const Bytes& contents) {
    writeFile(path, std::string_view(reinterpret_cast<const char*>(contents.data()), contents.size()));
}

inline Bytes readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The names of the entries of `directory` itself, sorted.
inline std::vector<std::string> entryNames(const std::filesystem::path& directory) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(directory)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace tomely::test
