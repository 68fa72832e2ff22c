// Part upload forms and their deflate content. The input is split at 0x00 bytes into
// name/content pairs of form items; the last item, when named "file", is the file part.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "PartBytes.h"
#include "PartUpload.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> pieces;
    std::size_t start = 0;
    for (std::size_t zero = input.find('\0'); zero != std::string::npos; zero = input.find('\0', start)) {
        pieces.push_back(input.substr(start, zero - start));
        start = zero + 1;
    }
    pieces.push_back(input.substr(start));
    std::vector<tomely::shelf::FormItem> items;
    for (std::size_t i = 0; i + 1 < pieces.size(); i += 2) {
        items.push_back({pieces[i], pieces[i] == "file" ? "file" : "", pieces[i + 1]});
    }
    const auto parse = tomely::shelf::parsePartUpload(items);
    if (!parse.upload && parse.reason.empty()) {
        __builtin_trap();
    }
    // The deflate content of any upload, bounded as the service bounds it.
    const auto inflated = tomely::shelf::inflateRaw(pieces.back(), 1U << 20U);
    if (inflated && inflated->bytes.size() > (1U << 20U)) {
        __builtin_trap();
    }
    return 0;
}
