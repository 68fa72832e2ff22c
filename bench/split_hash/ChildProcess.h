#pragma once

#include <string>
#include <vector>

namespace tomely::bench {

struct ChildResult {
    bool succeeded = false;
    // Everything the child wrote to its standard output.
    std::string output;
    double wallSeconds = 0;
    // User plus system time of the child and all its threads.
    double cpuSeconds = 0;
    // Peak resident set of the child (getrusage's ru_maxrss from wait4), in KiB.
    long maxResidentKiB = 0;
};

// Runs `arguments` (the first one looked up in PATH) and waits for it to end.
ChildResult runChild(const std::vector<std::string>& arguments);

}  // namespace tomely::bench
