// Manifests as a client may post them: any bytes, for the GUID "G1".
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "Manifest.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    const auto parse = tomely::shelf::parseManifest(body, "G1", 64);
    if (parse.manifest) {
        // What the service relies on when it accepts a manifest.
        const auto& entries = parse.manifest->entries;
        if (entries.empty() || entries.size() > 64 ||
            parse.manifest->target.bookId.has_value() == parse.manifest->target.bookName.has_value()) {
            __builtin_trap();
        }
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const bool first = i == 0 || entries[i - 1].file() != entries[i].file();
            if (entries[i].index != (first ? 0 : entries[i - 1].index + 1) || entries[i].name.rfind('/', 0) != 0) {
                __builtin_trap();
            }
        }
    } else if (parse.reason.empty()) {
        __builtin_trap();
    }
    return 0;
}
