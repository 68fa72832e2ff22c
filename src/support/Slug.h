#pragma once

#include <string>
#include <string_view>

namespace tomely {

// Reduces a title (UTF-8) to the characters a-z and "-": full Unicode lowercasing, then every
// UTF-16 code unit other than a-z and the space dropped (so digits, punctuation, precomposed
// accented letters and non-Latin letters vanish, while a base letter followed by a combining
// accent stays), one leading and one trailing space removed, and each remaining space turned into
// "-". Two titles clash when their slugs are equal. Any thread.
[[nodiscard]] std::string slug(std::string_view title);

}  // namespace tomely
