// What a connection may have received before its request is handed to a worker: any bytes.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "RequestHead.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using tomely::shelf::HeadScan;
    const std::string_view received(reinterpret_cast<const char*>(data), size);
    const auto scan = tomely::shelf::scanRequestHead(received, 256, 64);
    // The gate stops reading at the sum of the limits, so anything that long must be settled.
    if (scan.state == HeadScan::State::Incomplete && size >= 256 + 64) {
        __builtin_trap();
    }
    return 0;
}
