#include "BenchCommandLine.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <sstream>

namespace tomely::bench {

std::optional<BookRunOptions> parseBookRunOptions(const std::vector<std::string>& arguments, BookRunOptions defaults,
                                                  const char* program) {
    BookRunOptions options = std::move(defaults);
    if (options.parent.empty()) {
        const char* temporary = std::getenv("TMPDIR");
        options.parent = temporary != nullptr && temporary[0] == '/' ? temporary : "/tmp";
    }
    for (std::size_t i = 0; i + 1 < arguments.size(); i += 2) {
        if (arguments[i] == "--megabytes") {
            options.megabytes = std::stoull(arguments[i + 1]);
        } else if (arguments[i] == "--rounds") {
            options.rounds = std::max(1, std::stoi(arguments[i + 1]));
        } else if (arguments[i] == "--directory") {
            options.parent = arguments[i + 1];
        } else {
            std::fprintf(stderr, "usage: %s [--megabytes N] [--rounds R] [--directory PARENT]\n", program);
            return std::nullopt;
        }
    }
    return options;
}

std::map<std::string, double> parseKeyValues(const std::string& text) {
    std::map<std::string, double> values;
    std::istringstream lines(text);
    std::string key;
    double value = 0;
    while (lines >> key >> value) {
        values[key] = value;
    }
    return values;
}

double threadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

}  // namespace tomely::bench
