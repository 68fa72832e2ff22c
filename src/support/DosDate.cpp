#include "support/DosDate.h"

namespace tomely {

std::time_t timeFromDosDate(std::uint32_t dosDateTime) {
    const auto field = [dosDateTime](int shift, std::uint32_t mask) {
        return static_cast<int>((dosDateTime >> shift) & mask);
    };
    std::tm local{};
    local.tm_year = 80 + field(25, 0x7F);
    local.tm_mon = field(21, 0x0F) - 1;
    local.tm_mday = field(16, 0x1F);
    local.tm_hour = field(11, 0x1F);
    local.tm_min = field(5, 0x3F);
    local.tm_sec = field(0, 0x1F) * 2;
    // Daylight saving time is whatever the zone had in force at that moment.
    local.tm_isdst = -1;
    return std::mktime(&local);
}

}  // namespace tomely
