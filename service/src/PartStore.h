#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tomely::shelf {

// Content-addressed store of parts as they were uploaded (raw-deflate bytes), one file per
// fingerprint under "<dir>/<first two hex digits>/<fingerprint>". A file only ever appears
// whole (written durably under a temporary name first), and every read is checked against its
// fingerprint. Thread-safe: concurrent puts of one fingerprint each write their own temporary
// file and the last rename wins with identical bytes.
class PartStore {
public:
    // Creates the directory if needed and removes temporary files a killed process left.
    explicit PartStore(std::filesystem::path directory);

    // Stores the bytes under their fingerprint unless an intact copy is there already. The
    // caller has checked that `fingerprint` is the fingerprint of `deflated`. Throws on I/O errors.
    void put(const std::string& fingerprint, std::string_view deflated) const;

    // The stored bytes, or nothing when the part is missing or no longer matches its fingerprint.
    [[nodiscard]] std::optional<std::string> get(const std::string& fingerprint) const;

private:
    [[nodiscard]] std::filesystem::path pathOf(const std::string& fingerprint) const;

    std::filesystem::path directory_;
};

}  // namespace tomely::shelf
