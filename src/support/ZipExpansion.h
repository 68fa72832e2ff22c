#pragma once

#include <unzip.h>

#include <cstdint>
#include <string>

#include "platform/Error.h"

namespace tomely {

// An entry whose data expands more than this many times, to more than kRatioCheckedFrom bytes,
// is refused: deflate itself cannot pass about 1032:1, and nothing in a book comes near.
inline constexpr std::uint64_t kMaxExpansionRatio = 1000;
inline constexpr std::uint64_t kRatioCheckedFrom = std::uint64_t{1} << 20;
// Room left free beside what the entries take, for the directories and whatever else runs.
inline constexpr std::uint64_t kFreeSpaceMargin = std::uint64_t{32} << 20;

// Judges what the archive `zip` expands to from its central directory, before anything is
// written: refuses (false, with a ZipArchive error in `error`) an entry past the ratio above,
// naming it (kZipArchiveEntryExpandsTooMuchCode), and an archive whose entries, each taken in
// whole blocks, and the margin do not fit in the space free on the file system of `destination`
// (kZipArchiveNotEnoughSpaceCode). An entry that cannot be described ends the walk without a
// verdict: the extraction meets it again and says what is wrong with it. Leaves the archive at
// its first entry.
[[nodiscard]] bool checkExpansion(unzFile zip, const std::string& destination, Error* error = nullptr);

}  // namespace tomely
