#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tomely::bench {

// The uploads' shape: how many posts, and the size of each one's file part.
inline constexpr int kPosts = 200;
inline constexpr std::size_t kPartSize = 1 << 20;

// A part of kPartSize bytes that does not compress.
[[nodiscard]] std::vector<std::uint8_t> partBytes();

// The baseline: the same kPosts multipart posts made with libcurl's own multipart support, one
// easy handle per post and no connection reuse. Seconds for all of them, or -1 when one failed.
[[nodiscard]] double bareCurlSeconds(const std::string& url, const std::vector<std::uint8_t>& part);

}  // namespace tomely::bench
