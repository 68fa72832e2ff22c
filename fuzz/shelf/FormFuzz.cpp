// Url-encoded sign-in forms and Cookie headers.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "FormFields.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto fields = tomely::shelf::parseUrlEncoded(text);
    for (const auto& [key, value] : fields) {
        if (key.size() > size || value.size() > size) {
            __builtin_trap();
        }
    }
    (void)tomely::shelf::cookieValue(text, "tomely_session");
    return 0;
}
