// Syncs a generated book to tomely-shelf on loopback the way the upload step does (BookSync: split,
// fingerprint, manifest, upload), four times a round: a first upload (no fingerprint memo yet), a
// re-sync with nothing changed and the memo warm, a re-sync with the memo cleared, and a re-sync
// after one chapter and one picture changed (memo warm). Each run is a child process, so that its
// CPU time and peak resident memory (from wait4) are the client's alone; the service runs on the
// same cores. The baseline, measured in the same round, is a bare single-core zlib deflate at level
// 6 over the same bytes in pieces of 1,024,000 bytes. The machine may be shared: each round prints
// the load average, the table takes the fastest round of each run, and the client's CPU time is
// set beside its wall time. Then tomely-publish does the same from the book packed as an "iba", on
// a fresh shelf (memo cleared, then warm), and its sync (its own events, from splitting to the
// result) is set beside the bench's first upload and warm re-sync.
//
// The book: one movie of 60 MB; of the rest, two fifths text (a third of 300 MB) and three fifths
// pictures that are already compressed (half of 300 MB).
//
//   bench_e2e_upload [--megabytes N (300)] [--rounds R (2)] [--directory PARENT ($TMPDIR or /tmp)]

#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "BenchCommandLine.h"
#include "ChildProcess.h"
#include "PublisherRun.h"
#include "ShelfClient.h"
#include "ShelfProcess.h"
#include "SyncChild.h"
#include "TreeGenerator.h"
#include "platform/FileIO.h"
#include "upload/ACFileSplit.h"

namespace tomely::bench {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr std::uint64_t kMovieBytes = 60'000'000;

double secondsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

// Writes the book below `root`; files of a few hundred kilobytes to a few megabytes.
void generateBook(const fs::path& root, std::uint64_t totalBytes) {
    fs::create_directories(root / "OEBPS/Text");
    fs::create_directories(root / "OEBPS/Images");
    fs::create_directories(root / "OEBPS/Media");
    writeNoiseFile(root / "OEBPS/Media/movie.m4v", kMovieBytes, 1);
    const std::uint64_t rest = totalBytes > kMovieBytes ? totalBytes - kMovieBytes : 0;
    const std::uint64_t textBytes = rest * 2 / 5;
    std::uint64_t seed = 2;
    for (std::uint64_t written = 0; written < textBytes; ++seed) {
        const std::uint64_t length = std::min<std::uint64_t>(200'000 + seed * 7919 % 1'800'000, textBytes - written);
        writeTextFile(root / "OEBPS/Text" / ("chapter" + std::to_string(seed) + ".xhtml"), length, seed);
        written += length;
    }
    for (std::uint64_t written = 0; written < rest - textBytes; ++seed) {
        const std::uint64_t length =
            std::min<std::uint64_t>(300'000 + seed * 104729 % 3'700'000, rest - textBytes - written);
        writeNoiseFile(root / "OEBPS/Images" / ("picture" + std::to_string(seed) + ".jpg"), length, seed);
        written += length;
    }
}

// Rewrites the first chapter and the first picture with other bytes of the same length.
void changeChapterAndPicture(const fs::path& root, std::uint64_t seed) {
    for (const char* folder : {"OEBPS/Text", "OEBPS/Images"}) {
        std::vector<fs::path> files;
        for (const auto& entry : fs::directory_iterator(root / folder)) {
            files.push_back(entry.path());
        }
        const fs::path first = *std::min_element(files.begin(), files.end());
        const std::uint64_t length = fs::file_size(first);
        if (first.extension() == ".xhtml") {
            writeTextFile(first, length, seed);
        } else {
            writeNoiseFile(first, length, seed);
        }
    }
}

// User and system time of the process `pid` so far.
double cpuSecondsOf(pid_t pid) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    // The fields after the command name, which is in parentheses and may hold spaces.
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    double ticks = 0;
    for (int number = 3; number <= 15 && fields >> field; ++number) {
        ticks += number >= 14 ? std::stod(field) : 0;
    }
    return ticks / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

std::string loadAverage() {
    std::ifstream file("/proc/loadavg");
    std::string one;
    std::string five;
    file >> one >> five;
    return one + " " + five;
}

struct Timing {
    double wall = 0;
    double cpu = 0;
};

// The baseline: zlib's deflate at level 6 over every piece of 1,024,000 bytes of every file, on
// one core; the pieces are read outside the clock.
Timing bareDeflate(const fs::path& root) {
    Timing timing;
    std::vector<std::uint8_t> piece(ACFileSplit::kDefaultMaxBytes);
    std::vector<std::uint8_t> output(2 * piece.size());
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file()) {
            continue;
        }
        InputFile file(entry.path().string());
        while (const std::size_t got = file.read(piece).value_or(0)) {
            const auto start = Clock::now();
            const double cpuStart = threadCpuSeconds();
            z_stream stream{};
            deflateInit(&stream, 6);
            stream.next_in = piece.data();
            stream.avail_in = static_cast<uInt>(got);
            stream.next_out = output.data();
            stream.avail_out = static_cast<uInt>(output.size());
            deflate(&stream, Z_FINISH);
            deflateEnd(&stream);
            timing.cpu += threadCpuSeconds() - cpuStart;
            timing.wall += secondsBetween(start, Clock::now());
        }
    }
    return timing;
}

struct Run {
    std::map<std::string, double> seconds;
    double total = 0;
    // The whole child, every thread, sign-in included.
    double cpu = 0;
    // The service's, during the run.
    double serviceCpu = 0;
    double peakMB = 0;
};

// One sync in a child process, from a fresh copy of the book, against the service `service`.
std::optional<Run> syncOnce(const fs::path& book, const fs::path& support, const std::string& bookId, pid_t service) {
    fs::remove_all(support);
    fs::create_directories(support);
    fs::copy(book, support / "working", fs::copy_options::recursive);
    const double serviceCpuBefore = cpuSecondsOf(service);
    const ChildResult child = runChild(syncChildCommand(support.string(), bookId));
    if (!child.succeeded) {
        return std::nullopt;
    }
    Run run{parseKeyValues(child.output), 0, child.cpuSeconds, cpuSecondsOf(service) - serviceCpuBefore,
            static_cast<double>(child.maxResidentKiB) / 1024.0};
    for (const char* stage : {"split", "fingerprint", "manifest", "compress", "send"}) {
        run.total += run.seconds[stage];
    }
    return run;
}

void printRun(const char* name, const Run& run, const Timing& baseline, const char* goal) {
    std::printf(
        "%-13s %7.2f %7.2f %7.2f %7.2f %7.2f | %9.2f %5.2fx | %10.2f %5.2fx | %-8s | %4.0f parts | %7.1f MB | %7.2f\n",
        name, run.seconds.at("split"), run.seconds.at("fingerprint"), run.seconds.at("manifest"),
        run.seconds.at("compress"), run.seconds.at("send"), run.total, run.total / baseline.wall, run.cpu,
        run.cpu / baseline.cpu, goal, run.seconds.at("parts_sent"), run.peakMB, run.serviceCpu);
}

// The shortest of the rounds: the machine may be shared, and interference only ever adds time.
const Run& fastest(const std::vector<Run>& runs) {
    return *std::min_element(runs.begin(), runs.end(), [](const Run& a, const Run& b) { return a.total < b.total; });
}

int runBenchmark(std::uint64_t megabytes, int rounds, const fs::path& parent) {
    std::string pattern = (parent / "tomely-e2e-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::fprintf(stderr, "cannot create a directory in %s\n", parent.c_str());
        return 1;
    }
    const fs::path root = pattern;
    generateBook(root / "book", megabytes * 1'000'000);
    if (!writeBookArchive(root / "book", kBenchGuid, root / "book.iba")) {
        std::fprintf(stderr, "cannot pack the book into %s\n", (root / "book.iba").c_str());
        fs::remove_all(root);
        return 1;
    }
    // The children keep their fingerprint memo and the publisher its run directories here, not in
    // the user's cache.
    ::setenv("XDG_CACHE_HOME", (root / "cache").c_str(), 1);
    const auto clearMemo = [&root] { fs::remove_all(root / "cache"); };
    const char* names[] = {"first upload", "warm re-sync", "cold re-sync", "1 ch + 1 pic"};
    const char* goals[] = {"<= 1.2x", "<= 0.25x", "<= 0.6x", "<= 0.3x"};
    std::vector<Run> runs[4];
    std::vector<PublisherRun> publisherFirstRuns;
    std::vector<PublisherRun> publisherResyncs;
    Timing baseline{1e300, 1e300};
    for (int round = 0; round < rounds; ++round) {
        const std::string loadBefore = loadAverage();
        const Timing bare = bareDeflate(root / "book");
        baseline = {std::min(baseline.wall, bare.wall), std::min(baseline.cpu, bare.cpu)};
        // A fresh shelf each round, so that every first upload sends everything.
        fs::remove_all(root / "shelf");
        shelf::client::ShelfProcess service(TOMELY_SHELF_EXECUTABLE,
                                            {"--listen", "127.0.0.1:0", "--data", (root / "shelf").string()},
                                            {{kBenchEmail, kBenchPassword}});
        ::setenv("TOMELY_SERVICE_URL", ("http://127.0.0.1:" + std::to_string(service.port())).c_str(), 1);
        clearMemo();
        const auto first = syncOnce(root / "book", root / "support", "", service.pid());
        shelf::client::ShelfClient client("127.0.0.1", service.port());
        client.signIn(kBenchEmail, kBenchPassword);
        const auto books = nlohmann::json::parse(client.list().body, nullptr, false);
        const std::string bookId =
            books.is_array() && books.size() == 1 ? std::to_string(books[0].at("book_id").get<std::int64_t>()) : "";
        std::optional<Run> warm;
        std::optional<Run> cold;
        std::optional<Run> changed;
        if (first && !bookId.empty()) {
            warm = syncOnce(root / "book", root / "support", bookId, service.pid());
            clearMemo();
            cold = syncOnce(root / "book", root / "support", bookId, service.pid());
            changeChapterAndPicture(root / "book", 1000 + static_cast<std::uint64_t>(round));
            changed = syncOnce(root / "book", root / "support", bookId, service.pid());
        }
        if (!first || !warm || !cold || !changed) {
            std::fprintf(stderr, "a sync failed in round %d\n", round + 1);
            fs::remove_all(root);
            return 1;
        }
        const Run* results[] = {&*first, &*warm, &*cold, &*changed};
        std::printf("round %d (load average %s -> %s): deflate %.2f s (cpu %.2f)", round + 1, loadBefore.c_str(),
                    loadAverage().c_str(), bare.wall, bare.cpu);
        for (int i = 0; i < 4; ++i) {
            runs[i].push_back(*results[i]);
            std::printf(", %s %.2f s (cpu %.2f)", names[i], results[i]->total, results[i]->cpu);
        }
        std::printf("\n");

        // The publisher on a fresh shelf of its own: a new book, then the same book found by its GUID.
        fs::remove_all(root / "shelf-publisher");
        shelf::client::ShelfProcess publisherService(
            TOMELY_SHELF_EXECUTABLE, {"--listen", "127.0.0.1:0", "--data", (root / "shelf-publisher").string()},
            {{kBenchEmail, kBenchPassword}});
        const std::string url = "http://127.0.0.1:" + std::to_string(publisherService.port());
        clearMemo();
        const auto published = runPublisher(TOMELY_PUBLISH_EXECUTABLE, kBenchEmail, kBenchPassword, url,
                                            root / "book.iba", {"--new", "Bench"});
        const auto republished =
            published ? runPublisher(TOMELY_PUBLISH_EXECUTABLE, kBenchEmail, kBenchPassword, url, root / "book.iba", {})
                      : std::nullopt;
        if (!republished) {
            fs::remove_all(root);
            return 1;
        }
        publisherFirstRuns.push_back(*published);
        publisherResyncs.push_back(*republished);
        std::printf("round %d: tomely-publish sync %.2f s (whole run %.2f s), warm re-sync %.2f s (whole run %.2f s)\n",
                    round + 1, published->syncSeconds, published->wallSeconds, republished->syncSeconds,
                    republished->wallSeconds);
        std::fflush(stdout);
    }
    fs::remove_all(root);
    double peakMB = 0;
    for (const auto& kind : runs) {
        for (const Run& run : kind) {
            peakMB = std::max(peakMB, run.peakMB);
        }
    }
    std::printf(
        "\nbook of %llu MB to tomely-shelf on loopback, best of %d rounds; bare deflate pass (level 6, "
        "1,024,000-byte pieces, one core): %.2f s, cpu %.2f s\n\n",
        static_cast<unsigned long long>(megabytes), rounds, baseline.wall, baseline.cpu);
    std::printf("%-13s %7s %7s %7s %7s %7s | %9s %6s | %10s %6s | %-8s | %10s | %10s | %s\n", "seconds", "split",
                "fprint", "manifest", "compress", "send", "total", "ratio", "client cpu", "ratio", "goal", "sent",
                "peak RSS", "service cpu");
    for (int i = 0; i < 4; ++i) {
        printRun(names[i], fastest(runs[i]), baseline, goals[i]);
    }
    std::printf("peak resident memory of the client over all runs: %.1f MB (goal < 100 MB)\n", peakMB);

    // The publisher's sync against the bench's own, best round each; the whole run adds sign-in,
    // the extraction of the package and the list call.
    const auto fastestPublisher = [](const std::vector<PublisherRun>& candidates) {
        return *std::min_element(
            candidates.begin(), candidates.end(),
            [](const PublisherRun& a, const PublisherRun& b) { return a.syncSeconds < b.syncSeconds; });
    };
    std::printf("\n%-13s %9s %9s %7s | %9s %10s | %10s | %s\n", "tomely-publish", "sync", "bench", "ratio", "whole run",
                "client cpu", "sent", "peak RSS");
    for (const auto& [name, publisherRuns, bench] :
         {std::tuple{"first upload", &publisherFirstRuns, &fastest(runs[0])},
          std::tuple{"warm re-sync", &publisherResyncs, &fastest(runs[1])}}) {
        const PublisherRun best = fastestPublisher(*publisherRuns);
        std::printf("%-13s %9.2f %9.2f %6.2fx | %9.2f %10.2f | %4lld parts | %.1f MB\n", name, best.syncSeconds,
                    bench->total, best.syncSeconds / bench->total, best.wallSeconds, best.cpuSeconds, best.partsSent,
                    best.peakMB);
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
    const auto options = tomely::bench::parseBookRunOptions(arguments, {300, 2, {}}, argv[0]);
    return options ? tomely::bench::runBenchmark(options->megabytes, options->rounds, options->parent) : 2;
}
