#include "TreeGenerator.h"

#include <array>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace tomely::bench {
namespace {

class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return state_;
    }
    std::uint64_t between(std::uint64_t low, std::uint64_t high) { return low + next() % (high - low + 1); }

private:
    std::uint64_t state_;
};

constexpr std::array<std::string_view, 48> kWords = {
    "the",     "book",   "chapter", "of",       "and",     "a",        "to",     "in",       "reader",   "page",
    "figure",  "widget", "gallery", "review",   "section", "glossary", "is",     "that",     "with",     "for",
    "as",      "author", "lesson",  "students", "<p>",     "</p>",     "<span",  "class=\"", "body\">",  "</span>",
    "<div",    "</div>", "photo",   "cell",     "energy",  "history",  "river",  "mountain", "equation", "theorem",
    "because", "which",  "their",   "between",  "through", "example",  "answer", "question",
};

constexpr std::size_t kChunk = std::size_t{64} * 1024;

void writeText(std::ofstream& out, std::uint64_t length, Random& random) {
    std::string chunk;
    chunk.reserve(kChunk + 32);
    while (length > 0) {
        chunk.clear();
        while (chunk.size() < kChunk) {
            chunk += kWords[random.next() % kWords.size()];
            chunk += random.next() % 11 == 0 ? '\n' : ' ';
        }
        const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(length, chunk.size()));
        out.write(chunk.data(), static_cast<std::streamsize>(take));
        length -= take;
    }
}

void writeNoise(std::ofstream& out, std::uint64_t length, Random& random) {
    std::vector<std::uint64_t> chunk(kChunk / sizeof(std::uint64_t));
    while (length > 0) {
        for (std::uint64_t& word : chunk) {
            word = random.next();
        }
        const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(length, kChunk));
        out.write(reinterpret_cast<const char*>(chunk.data()), static_cast<std::streamsize>(take));
        length -= take;
    }
}

}  // namespace

void writeTextFile(const std::filesystem::path& path, std::uint64_t length, std::uint64_t seed) {
    Random random(seed * 2 + 1);  // xorshift never leaves 0
    std::ofstream out(path, std::ios::binary);
    writeText(out, length, random);
}

void writeNoiseFile(const std::filesystem::path& path, std::uint64_t length, std::uint64_t seed) {
    Random random(seed * 2 + 1);  // xorshift never leaves 0
    std::ofstream out(path, std::ios::binary);
    writeNoise(out, length, random);
}

TreeSummary generateTree(const std::filesystem::path& root, std::uint64_t totalBytes) {
    constexpr std::array<std::string_view, 5> kFolders = {"Text", "Styles", "Media/Images", "Media/Movies",
                                                          "Widgets/Gallery"};
    for (const std::string_view folder : kFolders) {
        std::filesystem::create_directories(root / folder);
    }
    Random random(0x7A11E5ULL + totalBytes);
    TreeSummary summary;
    std::uint64_t written = 0;
    while (written < totalBytes) {
        // Half the files are text; media files are larger, so text ends up near 40 % of the bytes.
        const bool text = random.next() % 2 == 0;
        std::uint64_t length = text ? random.between(0, 2'000'000) : random.between(10'000, 3'000'000);
        length = std::min(length, totalBytes - written);
        const std::string_view folder = text ? kFolders[random.next() % 2] : kFolders[2 + random.next() % 3];
        const std::string name = "file" + std::to_string(summary.files) + (text ? ".xhtml" : ".bin");
        std::ofstream out(root / folder / name, std::ios::binary);
        if (text) {
            writeText(out, length, random);
            summary.textBytes += length;
        } else {
            writeNoise(out, length, random);
            summary.mediaBytes += length;
        }
        written += length;
        ++summary.files;
    }
    return summary;
}

}  // namespace tomely::bench
