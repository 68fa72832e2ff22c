// User files as an operator may write them: any bytes.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "UserFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto parse = tomely::shelf::parseUserFile(text);
    for (const auto& [email, password] : parse.users) {
        if (email.empty() || password.empty() || email.size() + password.size() >= size) {
            __builtin_trap();
        }
    }
    // A refusal names the line, never its content, which may hold a password.
    if (!parse.error.empty() && !parse.users.empty()) {
        __builtin_trap();
    }
    return 0;
}
