#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tomely {

// What an archive entry's raw name means below the extraction's destination. Pure decision
// logic, kept apart from the file system so that every hostile name can be checked on its own.
struct ZipEntryPath {
    enum class Verdict {
        Accepted,
        Empty,           // no name, or nothing but "/" and "." components
        Unusable,        // a zero byte inside, or flagged as UTF-8 without being UTF-8
        Absolute,        // begins with "/" (or "\", which counts as one)
        ParentComponent  // a ".." component would climb out of the destination
    };

    Verdict verdict = Verdict::Empty;
    // The name as UTF-8 text with every backslash turned into a slash (empty when it is unusable).
    std::string name;
    // The path below the destination, one element per component; "." and empty components are
    // dropped because they name the same place. Empty unless the verdict is Accepted.
    std::vector<std::string> components;
    // The raw name ends in "/" or "\".
    bool isDirectory = false;

    // Reads a raw entry name (bytes exactly as stored in the archive). A name flagged as UTF-8 must
    // be UTF-8; one without the flag is read as UTF-8 when it is, else as code page 437, the zip
    // format's own encoding.
    [[nodiscard]] static ZipEntryPath parse(std::string_view rawName, bool flaggedUTF8);
};

// Why an entry was not extracted, for the log line that reports it.
[[nodiscard]] std::string_view reasonText(ZipEntryPath::Verdict verdict);

// The raw bytes made safe for a log line: printable ASCII and well-formed UTF-8 stay, anything
// else becomes \xNN.
[[nodiscard]] std::string printableName(std::string_view rawName);

// Whether a symbolic link at a path `linkDepth` directories below the destination, pointing to
// `target`, can only ever resolve inside the destination. Accepted targets are relative and
// consist of leading ".." components (at most `linkDepth` of them) followed only by names: a ".."
// after a name could climb out through another link (".." from a link's target is taken from
// where the target lies, not from the link), so such targets are refused.
[[nodiscard]] bool linkTargetStaysInside(std::string_view target, std::size_t linkDepth);

}  // namespace tomely
