// Extracts arbitrary bytes as an archive into a fresh directory and checks that nothing was
// written anywhere else: not beside the destination, not in the current directory, not through
// the link that already waits in the destination, and that no link left behind leads outside
// (other than through that old link, which is not the archive's doing). A failed extraction must
// always say why, and a successful one must not: the caller acts on the error alone.
//
// The first input byte picks the options (bit 0: overwrite, bit 1: a password); the rest is the
// archive.

#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "support/ZipArchive.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kSentinelText = "must stay as it is";

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "unzip fuzzer: %s\n", what.c_str());
    std::abort();
}

std::string makeBase() {
    std::string pattern = (fs::temp_directory_path() / "tomely-fuzz-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        fail("mkdtemp failed");
    }
    return pattern;
}

void writeBytes(const std::string& path, const std::uint8_t* data, std::size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

std::string realPath(const std::string& path) {
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : std::string();
}

bool isInside(const std::string& path, const std::string& root) {
    return path == root || path.starts_with(root + "/");
}

// Where a link would lead once every existing piece of its target is resolved, missing pieces
// taken as written.
std::string whereLinkLeads(const fs::path& link) {
    const fs::path target = fs::read_symlink(link);
    if (target.is_absolute()) {
        return target.lexically_normal().string();
    }
    std::string current = realPath(link.parent_path().string());
    for (const fs::path& component : target) {
        const std::string name = component.string();
        if (name.empty() || name == ".") {
            continue;
        }
        if (name == "..") {
            current = fs::path(current).parent_path().string();
            continue;
        }
        const std::string candidate = current + "/" + name;
        const std::string resolved = realPath(candidate);
        current = resolved.empty() ? candidate : resolved;
    }
    return current;
}

std::set<std::string> namesIn(const std::string& directory) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string base = makeBase();
    if (size == 0) {
        return 0;
    }
    const std::string run = base + "/run";
    const std::string archive = run + "/archive.zip";
    const std::string destination = run + "/dest";
    const std::string outside = run + "/outside";
    const std::string cwd = run + "/cwd";
    const std::string elsewhere = run + "/elsewhere";
    fs::remove_all(run);
    fs::create_directories(destination);
    fs::create_directories(outside);
    fs::create_directories(cwd);
    fs::create_directories(elsewhere);
    {
        std::ofstream sentinel(outside + "/sentinel");
        sentinel << kSentinelText;
    }
    // A link that was in the destination before: entries named "pre/..." must not pass through it.
    fs::create_directory_symlink(elsewhere, destination + "/pre");
    writeBytes(archive, data + 1, size - 1);
    if (::chdir(cwd.c_str()) != 0) {
        fail("chdir failed");
    }

    const bool overwrite = (data[0] & 1) != 0;
    const char* password = (data[0] & 2) != 0 ? "pw" : "";
    tomely::Error error;
    const bool extracted = tomely::ZipArchive::unzipFileAtPath(archive, destination + "/", overwrite, password, &error);
    if (extracted != error.domain.empty()) {
        fail(extracted ? "an extraction that succeeded reported an error" : "a failed extraction reported no error");
    }

    if (namesIn(run) != std::set<std::string>{"archive.zip", "cwd", "dest", "elsewhere", "outside"}) {
        fail("something appeared beside the destination");
    }
    if (!namesIn(cwd).empty()) {
        fail("something appeared in the current directory");
    }
    if (namesIn(outside) != std::set<std::string>{"sentinel"}) {
        fail("something appeared outside");
    }
    if (!namesIn(elsewhere).empty()) {
        fail("something appeared in the directory the old link leads to");
    }
    std::ifstream sentinel(outside + "/sentinel");
    const std::string text((std::istreambuf_iterator<char>(sentinel)), std::istreambuf_iterator<char>());
    if (text != kSentinelText) {
        fail("the file outside was changed");
    }
    if (!fs::is_symlink(destination + "/pre") || fs::read_symlink(destination + "/pre") != elsewhere) {
        fail("the old link was changed");
    }
    const std::string destinationReal = realPath(destination);
    const std::string elsewhereReal = realPath(elsewhere);
    std::error_code ignored;
    for (auto it = fs::recursive_directory_iterator(destination, ignored); it != fs::recursive_directory_iterator();
         it.increment(ignored)) {
        if (!it->is_symlink(ignored) || it->path() == fs::path(destination + "/pre")) {
            continue;
        }
        const std::string leadsTo = whereLinkLeads(it->path());
        if (!isInside(leadsTo, destinationReal) && !isInside(leadsTo, elsewhereReal)) {
            fail("a link leads outside: " + it->path().string() + " -> " + fs::read_symlink(it->path()).string());
        }
    }
    if (::chdir(base.c_str()) != 0) {
        fail("chdir failed");
    }
    fs::remove_all(run);
    return 0;
}
