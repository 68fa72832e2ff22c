#pragma once

#include <cstddef>
#include <map>
#include <string>

namespace tomely::bench {

// A generated book of about `totalBytes`: an index.xml, pictures that do not compress (about
// 60 %) and chapters of text that do, like an iBooks Author package. The same seed gives the
// same book.
[[nodiscard]] std::map<std::string, std::string> generateBook(unsigned seed, std::size_t totalBytes);

}  // namespace tomely::bench
