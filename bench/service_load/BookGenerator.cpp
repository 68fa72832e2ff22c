#include "BookGenerator.h"

#include <random>

namespace tomely::bench {

namespace {

std::string noise(std::mt19937_64& random, std::size_t length) {
    std::string bytes(length, '\0');
    for (std::size_t i = 0; i < length; i += 8) {
        const std::uint64_t value = random();
        for (std::size_t j = 0; j < 8 && i + j < length; ++j) {
            bytes[i + j] = static_cast<char>((value >> (8 * j)) & 0xffU);
        }
    }
    return bytes;
}

std::string prose(std::mt19937_64& random, std::size_t length) {
    static const char* const kWords[] = {"the",   "shelf", "book",    "chapter", "author", "reader", "page",
                                         "story", "light", "harbour", "winter",  "letter", "garden", "river"};
    std::string text = "<html><body><p>";
    while (text.size() < length) {
        text += kWords[random() % std::size(kWords)];
        text += (random() % 12 == 0) ? ".</p>\n<p>" : " ";
    }
    text.resize(length);
    return text;
}

}  // namespace

std::map<std::string, std::string> generateBook(unsigned seed, std::size_t totalBytes) {
    std::mt19937_64 random(seed);
    std::map<std::string, std::string> files;
    files["/index.xml"] =
        "<sl:textbook sl:GUID=\"BENCH-" + std::to_string(seed) + "\">" + prose(random, 20000) + "</sl:textbook>";
    std::size_t used = files["/index.xml"].size();
    const std::size_t pictures = totalBytes * 6 / 10;
    for (int i = 0; used < pictures; ++i) {
        // Pictures of 0.3 to 4.3 MB: most span several parts, some fit in one.
        const std::size_t size = std::min<std::size_t>(300000 + random() % 4000000, pictures - used);
        files["/images/picture" + std::to_string(i) + ".jpg"] = noise(random, size);
        used += size;
    }
    for (int i = 0; used < totalBytes; ++i) {
        const std::size_t size = std::min<std::size_t>(200000 + random() % 2000000, totalBytes - used);
        files["/chapters/chapter" + std::to_string(i) + ".xhtml"] = prose(random, size);
        used += size;
    }
    return files;
}

}  // namespace tomely::bench
