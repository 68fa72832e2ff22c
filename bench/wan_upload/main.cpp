// The first upload of a generated book to tomely-shelf through a line that behaves like a wide-area
// network (NetworkEmulator: each way half the round trip and the rate cap; a handshake costs a
// round trip), at round trips of 0, 40 and 100 ms and caps of 20 and 100 Mbit/s. Each run syncs
// the book with BookSync, as the upload step does, in a child process (so its peak memory is the
// client's alone), to a fresh shelf with the fingerprint memo cleared, so that every part is sent.
//
// The upload stage runs from the manifest's answer to the end of the sync. It is set beside the
// line's limit for the bytes it put on the wire (bytes up ÷ rate), and beside a baseline measured
// in the same run on the same line: one bare TCP stream of as many bytes to a sink, the most any
// client could do there. The machine may be shared: each row is the fastest of the rounds, and the
// load average is printed with each round.
//
//   bench_wan_upload [--megabytes N (30)] [--rounds R (1)] [--directory PARENT ($TMPDIR or /tmp)]
//                    [--round-trips 0,40,100] [--rates 20,100] [--parallel 1,4,8]
// Rates are in Mbit/s, 0 for no cap; round trips in milliseconds; --parallel lists the numbers of
// parts in flight to compare (1 sends them one after another). A peak memory for a large book:
//   bench_wan_upload --megabytes 2000 --round-trips 0 --rates 0 --parallel 1,8

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "BareStream.h"
#include "BenchCommandLine.h"
#include "ChildProcess.h"
#include "ShelfProcess.h"
#include "SyncChild.h"
#include "TreeGenerator.h"
#include "common/NetworkEmulator.h"
#include "upload/ACMultiFileUploader.h"

namespace tomely::bench {
namespace {

namespace fs = std::filesystem;
using test::NetworkEmulator;

struct Line {
    int roundTripMilliseconds = 0;
    double megabitsPerSecond = 0;
};

struct Options {
    BookRunOptions book;
    std::vector<int> roundTrips = {0, 40, 100};
    std::vector<double> rates = {20, 100};
    std::vector<int> parallel = {1, static_cast<int>(ACMultiFileUploader::kDefaultPartsInFlight), 8};
};

struct Run {
    double uploadSeconds = 0;
    // Of which the preparation of the requests, before the first one starts.
    double prepareSeconds = 0;
    std::uint64_t bytesOnWire = 0;
    double bareSeconds = 0;
    double peakMB = 0;
    long long parts = 0;
};

std::vector<double> numbers(const std::string& list) {
    std::vector<double> values;
    std::istringstream items(list);
    for (std::string item; std::getline(items, item, ',');) {
        values.push_back(std::stod(item));
    }
    return values;
}

std::optional<Options> parseOptions(const std::vector<std::string>& arguments, const char* program) {
    Options options;
    std::vector<std::string> shared;
    for (std::size_t i = 0; i + 1 < arguments.size(); i += 2) {
        const std::string& name = arguments[i];
        const std::vector<double> values = numbers(arguments[i + 1]);
        if (name == "--round-trips") {
            options.roundTrips.assign(values.begin(), values.end());
        } else if (name == "--rates") {
            options.rates = values;
        } else if (name == "--parallel") {
            options.parallel.assign(values.begin(), values.end());
        } else {
            shared.insert(shared.end(), {name, arguments[i + 1]});
        }
    }
    auto book = parseBookRunOptions(shared, {30, 1, {}}, program);
    if (!book || arguments.size() % 2 != 0) {
        std::fprintf(stderr, "       [--round-trips MS,...] [--rates MBITS,...] [--parallel N,...]\n");
        return std::nullopt;
    }
    options.book = *book;
    return options;
}

std::string loadAverage() {
    std::ifstream file("/proc/loadavg");
    std::string one;
    std::string five;
    file >> one >> five;
    return one + " " + five;
}

NetworkEmulator::Options lineOptions(const Line& line, int targetPort) {
    return NetworkEmulator::symmetric(targetPort, std::chrono::milliseconds(line.roundTripMilliseconds),
                                      NetworkEmulator::megabitsPerSecond(line.megabitsPerSecond));
}

// One first upload of the book at `root`/book through `line`, to a fresh shelf.
std::optional<Run> uploadOnce(const fs::path& root, const Line& line, int parallel) {
    fs::remove_all(root / "shelf");
    fs::remove_all(root / "support");
    fs::remove_all(root / "cache");
    fs::create_directories(root / "support");
    fs::copy(root / "book", root / "support" / "working", fs::copy_options::recursive);
    shelf::client::ShelfProcess service(TOMELY_SHELF_EXECUTABLE,
                                        {"--listen", "127.0.0.1:0", "--data", (root / "shelf").string()},
                                        {{kBenchEmail, kBenchPassword}});
    NetworkEmulator emulator(lineOptions(line, service.port()));
    ::setenv("TOMELY_SERVICE_URL", emulator.baseURL().c_str(), 1);
    const ChildResult child =
        runChild(syncChildCommand((root / "support").string(), "", static_cast<std::size_t>(parallel)));
    if (!child.succeeded) {
        std::fprintf(stderr, "the upload failed: %s\n", child.output.c_str());
        return std::nullopt;
    }
    auto values = parseKeyValues(child.output);
    Run run{values["compress"] + values["send"],
            values["compress"],
            emulator.bytesUp(),
            0,
            static_cast<double>(child.maxResidentKiB) / 1024.0,
            static_cast<long long>(values["parts_sent"])};
    const auto bare = bareStreamSeconds(lineOptions(line, 0), run.bytesOnWire);
    if (!bare) {
        std::fprintf(stderr, "the bare stream failed\n");
        return std::nullopt;
    }
    run.bareSeconds = *bare;
    return run;
}

int runBenchmark(const Options& options) {
    std::string pattern = (options.book.parent / "tomely-wan-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::fprintf(stderr, "cannot create a directory in %s\n", options.book.parent.c_str());
        return 1;
    }
    const fs::path root = pattern;
    generateTree(root / "book", options.book.megabytes * 1'000'000);
    // The child keeps its fingerprint memo here, not in the user's cache.
    ::setenv("XDG_CACHE_HOME", (root / "cache").c_str(), 1);
    struct Row {
        Line line;
        int parallel = 1;
        std::optional<Run> best;
    };
    std::vector<Row> rows;
    for (const double rate : options.rates) {
        for (const int roundTrip : options.roundTrips) {
            for (const int parallel : options.parallel) {
                rows.push_back({{roundTrip, rate}, parallel, std::nullopt});
            }
        }
    }
    for (int round = 1; round <= options.book.rounds; ++round) {
        std::printf("round %d (load average %s)\n", round, loadAverage().c_str());
        for (Row& row : rows) {
            const auto run = uploadOnce(root, row.line, row.parallel);
            if (!run) {
                fs::remove_all(root);
                return 1;
            }
            std::printf("  %3d ms %5.0f Mbit/s %2d in flight: upload %6.2f s, bare stream %6.2f s\n",
                        row.line.roundTripMilliseconds, row.line.megabitsPerSecond, row.parallel, run->uploadSeconds,
                        run->bareSeconds);
            std::fflush(stdout);
            if (!row.best || run->uploadSeconds < row.best->uploadSeconds) {
                row.best = run;
            }
        }
    }
    fs::remove_all(root);

    std::printf("\nfirst upload of a %llu MB book (%lld parts) through the emulated line, best of %d rounds\n\n",
                static_cast<unsigned long long>(options.book.megabytes), rows.front().best->parts, options.book.rounds);
    std::printf("%10s %11s %9s | %9s %9s %10s %9s %8s | %11s %7s | %8s\n", "round trip", "rate", "in flight", "upload",
                "(prepare)", "on wire", "limit", "x limit", "bare stream", "x bare", "peak RSS");
    for (const Row& row : rows) {
        const Run& run = *row.best;
        const double megabytes = static_cast<double>(run.bytesOnWire) / 1e6;
        const double limit =
            row.line.megabitsPerSecond > 0
                ? static_cast<double>(run.bytesOnWire) /
                      static_cast<double>(NetworkEmulator::megabitsPerSecond(row.line.megabitsPerSecond))
                : 0;
        char limitText[32] = "-";
        char ratioText[32] = "-";
        if (limit > 0) {
            std::snprintf(limitText, sizeof limitText, "%.2f s", limit);
            std::snprintf(ratioText, sizeof ratioText, "%.2fx", run.uploadSeconds / limit);
        }
        std::printf("%7d ms %6.0f Mbit/s %9d | %7.2f s %7.2f s %7.1f MB %9s %8s | %9.2f s %6.2fx | %5.1f MB\n",
                    row.line.roundTripMilliseconds, row.line.megabitsPerSecond, row.parallel, run.uploadSeconds,
                    run.prepareSeconds, megabytes, limitText, ratioText, run.bareSeconds,
                    run.uploadSeconds / run.bareSeconds, run.peakMB);
    }
    return 0;
}

}  // namespace
}  // namespace tomely::bench

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    if (tomely::bench::isSyncChildCommand(arguments)) {
        return tomely::bench::runSyncChild(arguments);
    }
    const auto options = tomely::bench::parseOptions(arguments, argv[0]);
    return options ? tomely::bench::runBenchmark(*options) : 2;
}
