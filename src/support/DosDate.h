#pragma once

#include <cstdint>
#include <ctime>

namespace tomely {

// The moment that a zip entry's DOS date and time names, read in the local time zone. The 32 bits
// hold, from the top: year - 1980 (7 bits), month (4), day (5), hour (5), minute (6), seconds / 2
// (5). Impossible values (month 0, day 0, hour 31 ...) roll over into the neighbouring
// unit as the calendar normalises them: month 0 of a year is the December before it.
[[nodiscard]] std::time_t timeFromDosDate(std::uint32_t dosDateTime);

}  // namespace tomely
