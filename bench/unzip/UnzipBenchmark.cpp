// Extraction speed of ZipArchive against Debian's `unzip -qo` on the same generated archive,
// alternating the two so that neither gets a warmer cache. The archive looks like a book with
// media: a few thousand files, most of them small text that deflates well, and fewer, larger
// incompressible files, some stored and some deflated.
//
// Usage: bench_unzip [scratch directory] [repetitions]   (default: $TMPDIR or /tmp, 3)

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "support/ZipArchive.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

constexpr int kTextFiles = 2400;
constexpr int kMediaFiles = 600;

std::string words(std::mt19937_64& random, std::size_t size) {
    static constexpr std::array<const char*, 16> kWords = {"<p>",      "</p>",    "the ",     "book ",
                                                           "chapter ", "figure ", "author ",  "shelf ",
                                                           "page ",    "of ",     "and ",     "<span class=\"s1\">",
                                                           "</span>",  "widget ", "gallery ", "\n"};
    std::string text;
    text.reserve(size + 32);
    while (text.size() < size) {
        text += kWords[random() % kWords.size()];
        if (random() % 7 == 0) {
            text += std::to_string(random() % 100000);
        }
    }
    text.resize(size);
    return text;
}

std::string noise(std::mt19937_64& random, std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i + 8 <= size; i += 8) {
        const std::uint64_t value = random();
        std::memcpy(&bytes[i], &value, 8);
    }
    return bytes;
}

void addEntry(zipFile zip, const std::string& name, const std::string& data, bool deflate) {
    zip_fileinfo info{};
    info.dosDate = (33U << 25) | (7U << 21) | (15U << 16) | (10U << 11);
    if (zipOpenNewFileInZip64(zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, deflate ? Z_DEFLATED : 0,
                              deflate ? Z_DEFAULT_COMPRESSION : 0, 0) != ZIP_OK ||
        zipWriteInFileInZip(zip, data.data(), static_cast<unsigned>(data.size())) != ZIP_OK ||
        zipCloseFileInZip(zip) != ZIP_OK) {
        std::fprintf(stderr, "could not add %s\n", name.c_str());
        std::exit(1);
    }
}

// Returns the total of the files' sizes.
std::uintmax_t generateArchive(const std::string& path) {
    std::mt19937_64 random(2013);
    zipFile zip = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
    if (zip == nullptr) {
        std::fprintf(stderr, "could not create %s\n", path.c_str());
        std::exit(1);
    }
    std::uintmax_t total = 0;
    addEntry(zip, "index.xml", words(random, 20000), true);
    for (int i = 0; i < kTextFiles; ++i) {
        const std::string text = words(random, 4000 + random() % 56000);
        addEntry(zip, "OPS/chapter" + std::to_string(i % 40) + "/page" + std::to_string(i) + ".xhtml", text, true);
        total += text.size();
    }
    for (int i = 0; i < kMediaFiles; ++i) {
        const std::string media = noise(random, 100000 + random() % 400000);
        // Some tools store media they know to be compressed; others deflate everything.
        addEntry(zip, "Media/image" + std::to_string(i) + (i % 2 == 0 ? ".jpg" : ".m4v"), media, i % 2 != 0);
        total += media.size();
    }
    zipClose(zip, nullptr);
    return total;
}

double seconds(std::chrono::steady_clock::duration duration) {
    return std::chrono::duration<double>(duration).count();
}

double runUnzipTool(const std::string& archive, const std::string& destination) {
    const char* argv[] = {"unzip", "-qo", archive.c_str(), "-d", destination.c_str(), nullptr};
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (posix_spawnp(&pid, "unzip", nullptr, nullptr, const_cast<char* const*>(argv), environ) != 0) {
        std::fprintf(stderr, "could not start unzip (scripts/install-deps installs it)\n");
        std::exit(1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "unzip failed\n");
        std::exit(1);
    }
    return seconds(elapsed);
}

double runZipArchive(const std::string& archive, const std::string& destination) {
    const auto start = std::chrono::steady_clock::now();
    tomely::Error error;
    const bool result = tomely::ZipArchive::unzipFileAtPath(archive, destination, true, {}, &error);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    if (!result) {
        std::fprintf(stderr, "ZipArchive failed: %s\n", error.localizedDescription().c_str());
        std::exit(1);
    }
    return seconds(elapsed);
}

std::uintmax_t treeSize(const std::string& root) {
    std::uintmax_t total = 0;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.is_regular_file()) {
            total += entry.file_size();
        }
    }
    return total;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const char* tmp = std::getenv("TMPDIR");
    const std::string scratchBase = argc > 1 ? argv[1] : (tmp != nullptr ? tmp : "/tmp");
    const int repetitions = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    const std::string scratch = scratchBase + "/tomely-bench-unzip";
    fs::remove_all(scratch);
    fs::create_directories(scratch);
    const std::string archive = scratch + "/book.iba";
    const std::string destination = scratch + "/working/";

    std::printf("generating the archive...\n");
    const std::uintmax_t expectedBytes = generateArchive(archive);
    const double archiveMB = static_cast<double>(fs::file_size(archive)) / 1e6;
    std::printf("archive: %.1f MB, %d files, %.1f MB extracted\n\n", archiveMB, kTextFiles + kMediaFiles + 1,
                static_cast<double>(expectedBytes) / 1e6);

    std::vector<double> ours;
    std::vector<double> theirs;
    for (int i = 0; i < repetitions; ++i) {
        // Alternate which one goes first; start each from an empty destination with the previous
        // run's writes flushed.
        for (int turn = 0; turn < 2; ++turn) {
            const bool oursNow = (turn == 0) == (i % 2 == 0);
            fs::remove_all(destination);
            ::sync();
            if (oursNow) {
                ours.push_back(runZipArchive(archive, destination));
            } else {
                theirs.push_back(runUnzipTool(archive, destination));
            }
            if (treeSize(destination) < expectedBytes) {
                std::fprintf(stderr, "the %s run extracted too little\n", oursNow ? "ZipArchive" : "unzip");
                return 1;
            }
        }
    }
    fs::remove_all(scratch);

    std::printf("%-12s", "run");
    for (int i = 0; i < repetitions; ++i) {
        std::printf("  #%-7d", i + 1);
    }
    std::printf("  %-8s  %s\n", "median", "MB/s (archive)");
    const auto row = [&](const char* name, const std::vector<double>& times) {
        std::printf("%-12s", name);
        for (const double t : times) {
            std::printf("  %7.3fs", t);
        }
        std::printf("  %7.3fs  %.0f\n", median(times), archiveMB / median(times));
    };
    row("ZipArchive", ours);
    row("unzip -qo", theirs);
    const double ratio = median(ours) / median(theirs);
    std::printf("\nZipArchive / unzip = %.2f (goal: at most 1.30) %s\n", ratio, ratio <= 1.3 ? "met" : "NOT MET");
    return 0;
}
