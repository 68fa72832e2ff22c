#pragma once

#include <cstdint>
#include <optional>

#include "common/NetworkEmulator.h"

namespace tomely::bench {

// The seconds one TCP connection takes to carry `bytes` over a line like `line` to a sink on
// loopback and hear back one byte: what any client could do at best on that line, measured on
// the machine as it is now. Nothing when the transfer fails.
[[nodiscard]] std::optional<double> bareStreamSeconds(const test::NetworkEmulator::Options& line, std::uint64_t bytes);

}  // namespace tomely::bench
