#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tomely::test {

// Writes a zip archive entry by entry with minizip's own writer, so that tests can shape every
// detail the extraction reads: names as raw bytes, stored or deflated data, DOS dates, external
// attributes, the encryption and UTF-8 name flags. The archive is complete once the builder is gone.
class ZipBuilder {
public:
    enum class Method { Stored, Deflated };

    struct Options {
        Method method = Method::Deflated;
        // 0 lets minizip write the date in its calendar fields, which the builder leaves at 1980-01-01.
        std::uint32_t dosDate = 0;
        std::uint32_t externalAttributes = 0;
        // Flags the entry as encrypted; its data is then not readable by anyone (no password fits it).
        bool encrypted = false;
        // Sets general purpose bit 11, which declares the name UTF-8.
        bool flagNameAsUTF8 = false;
    };

    explicit ZipBuilder(const std::string& path);
    ~ZipBuilder();
    ZipBuilder(const ZipBuilder&) = delete;
    ZipBuilder& operator=(const ZipBuilder&) = delete;

    // `name` goes into the archive byte for byte (it cannot hold a zero byte; see replaceInFile).
    ZipBuilder& add(std::string_view name, std::string_view data, const Options& options);
    ZipBuilder& add(std::string_view name, std::string_view data) { return add(name, data, Options{}); }
    // A directory entry: the name should end in "/" (or "\").
    ZipBuilder& addDirectory(std::string_view name, std::uint32_t dosDate = 0);
    // A link entry as the extraction recognises it: stored, 0x4000 in the low 16 bits of its
    // external attributes, the target as data.
    ZipBuilder& addLink(std::string_view name, std::string_view target, std::uint32_t dosDate = 0);

    // The DOS form of a local date and time (seconds are stored halved).
    [[nodiscard]] static std::uint32_t dosDate(int year, int month, int day, int hour, int minute, int second);

private:
    void* zip_ = nullptr;
};

inline constexpr std::size_t kEveryOccurrence = static_cast<std::size_t>(-1);

// Replaces occurrences of `from` in the file by `to` (same length), to damage archives after
// building them: a zero byte in a name, a wrong size, a broken signature. `occurrence` picks one
// (counting from 0) or every one. Returns how many it replaced.
std::size_t replaceInFile(const std::string& path, std::string_view from, std::string_view to,
                          std::size_t occurrence = kEveryOccurrence);

}  // namespace tomely::test
