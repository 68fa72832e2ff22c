#include "PublisherRun.h"

#include <zip.h>

#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "ChildProcess.h"

namespace tomely::bench {
namespace {

bool addEntry(zipFile zip, const std::string& name, std::istream& in) {
    zip_fileinfo info{};
    if (zipOpenNewFileInZip64(zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, 0, 0, 1) != ZIP_OK) {
        return false;
    }
    std::vector<char> block(1 << 20);
    bool ok = true;
    while (ok && in) {
        in.read(block.data(), static_cast<std::streamsize>(block.size()));
        const auto got = static_cast<unsigned>(in.gcount());
        ok = got == 0 || zipWriteInFileInZip(zip, block.data(), got) == ZIP_OK;
    }
    return zipCloseFileInZip(zip) == ZIP_OK && ok;
}

}  // namespace

bool writeBookArchive(const std::filesystem::path& root, const std::string& guid,
                      const std::filesystem::path& archive) {
    zipFile zip = zipOpen64(archive.c_str(), APPEND_STATUS_CREATE);
    if (zip == nullptr) {
        return false;
    }
    std::istringstream index("<sl:textbook sl:GUID=\"" + guid + "\"><sl:title>Bench</sl:title></sl:textbook>\n");
    bool ok = addEntry(zip, "index.xml", index);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        if (ok && entry.is_regular_file()) {
            std::ifstream in(entry.path(), std::ios::binary);
            ok = addEntry(zip, std::filesystem::relative(entry.path(), root).string(), in);
        }
    }
    return zipClose(zip, nullptr) == ZIP_OK && ok;
}

std::optional<PublisherRun> runPublisher(const std::string& publisher, const std::string& email,
                                         const std::string& password, const std::string& serviceURL,
                                         const std::filesystem::path& archive,
                                         const std::vector<std::string>& options) {
    // The password goes in on standard input, as the publisher takes it.
    std::vector<std::string> command = {"sh",        "-c",      R"(printf '%s\n' "$0" | exec "$@")",
                                        password,    publisher, "--json",
                                        "--email",   email,     "--password-stdin",
                                        "--service", serviceURL};
    command.insert(command.end(), options.begin(), options.end());
    command.push_back(archive.string());
    const ChildResult child = runChild(command);
    PublisherRun run{0, child.wallSeconds, child.cpuSeconds, static_cast<double>(child.maxResidentKiB) / 1024.0, 0};
    std::optional<double> splitting;
    std::istringstream lines(child.output);
    for (std::string line; std::getline(lines, line);) {
        const auto event = nlohmann::json::parse(line, nullptr, false);
        if (event.is_discarded()) {
            continue;
        }
        const double elapsed = event.value("elapsed_ms", 0.0) / 1000.0;
        if (event.value("stage", "") == "splitting" && event.value("event", "") == "stage") {
            splitting = elapsed;
        }
        if (event.value("event", "") == "result") {
            if (event.value("exit", -1) != 0 || !splitting) {
                std::fprintf(stderr, "tomely-publish failed: %s\n", line.c_str());
                return std::nullopt;
            }
            run.syncSeconds = elapsed - *splitting;
            run.partsSent = event.value("parts_sent", 0LL);
            return run;
        }
    }
    std::fprintf(stderr, "tomely-publish gave no result:\n%s\n", child.output.c_str());
    return std::nullopt;
}

}  // namespace tomely::bench
