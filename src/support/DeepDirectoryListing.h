#pragma once

#include <string>
#include <vector>

namespace tomely {

// Every item below `path` at any depth that is not a directory, as the text "<path>/<relative
// path>": no normalisation, so a `path` ending in "/" gives entries with "//" (the Working
// directory's users rely on that exact text). Hidden items are listed; symbolic links are not
// descended into, and a link counts as a directory when its target is one (then it is left out)
// and as nothing when its target is missing. Order: the file system's, depth first: a directory's
// contents come right after it, before its later siblings.
// A `path` that does not exist or is not a directory gives an empty list. Any thread.
[[nodiscard]] std::vector<std::string> deepDirectoryContents(const std::string& path);

}  // namespace tomely
