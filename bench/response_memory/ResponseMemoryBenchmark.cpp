// How much memory an answer costs from the socket to the decoded records: the list of books
// through decodeExistingBooks, as the locate step and the publisher take it, and the manifest
// answer through the decoder and namesToSend, as the sync takes it; each beside a bare libcurl
// download of the same body into one string, in the same run. Every measurement runs in a child
// process of its own and reports the growth of its peak resident set over what it held before
// the request. Goal: the client's growth within about twice the body.
//
//   bench_response_memory [--megabytes N ...]   (default: 16 32 60)
#include <curl/curl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "common/ScriptedHTTPServer.h"
#include "http/HTTPRequest.h"
#include "json/JSONDeserializer.h"
#include "platform/EventLoop.h"
#include "shelf/ExistingBook.h"
#include "upload/SyncManifest.h"

namespace tomely::bench {
namespace {

constexpr std::uint64_t kMiB = 1024 * 1024;

enum class Kind { List, GzipList, Manifest };

struct KindInfo {
    Kind kind;
    const char* name;
};
constexpr KindInfo kKinds[] = {{Kind::List, "list"}, {Kind::GzipList, "list-gzip"}, {Kind::Manifest, "manifest"}};

std::string guid(unsigned seed) {
    char text[40];
    std::snprintf(text, sizeof text, "%08X-%04X-%04X-%04X-%012X", seed * 2654435761U, seed % 65521U,
                  (seed * 7U) % 65521U, (seed * 13U) % 65521U, seed * 40503U);
    return text;
}

std::string manifestKey(std::size_t i) {
    return "/OPS/assets/images/figure-" + std::to_string(i) + ".png.part00000";
}

// The answer of the list call: book records with a title, an id and their uploads.
std::string bookList(std::uint64_t bytes) {
    std::string out = "[";
    for (unsigned book = 0; out.size() < bytes; ++book) {
        out += book == 0 ? "" : ",";
        out += R"({"title":"Tides of the North, volume )" + std::to_string(book);
        out += R"(","book_id":)" + std::to_string(100000 + book) + R"(,"downloads":[)";
        for (unsigned download = 0; download < book % 4; ++download) {
            out += download == 0 ? "" : ",";
            out += R"({"guid":")" + guid(book * 4 + download) + R"(","created":"2011-03-04T05:06:07Z"})";
        }
        out += "]}";
    }
    return out + "]";
}

// The manifest answer: `keys` manifest keys.
std::string manifestAnswer(std::size_t keys) {
    std::string out = "[";
    for (std::size_t i = 0; i < keys; ++i) {
        out += (i == 0 ? "\"" : ",\"") + manifestKey(i) + "\"";
    }
    return out + "]";
}

// As many keys as make an answer of about `bytes`.
std::size_t keysFor(std::uint64_t bytes) {
    std::size_t keys = 0;
    for (std::uint64_t size = 1; size < bytes; ++keys) {
        size += manifestKey(keys).size() + 3;
    }
    return keys;
}

long statusKiB(const char* field) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(field, 0) == 0) {
            return std::stol(line.substr(std::string(field).size()));
        }
    }
    return -1;
}

// The resident set now, after which the peak starts again from it.
long startMeasuring() {
    const long baseline = statusKiB("VmRSS:");
    std::ofstream("/proc/self/clear_refs") << "5";
    return baseline;
}

std::size_t appendBody(char* data, std::size_t size, std::size_t count, void* body) {
    static_cast<std::string*>(body)->append(data, size * count);
    return size * count;
}

std::size_t reserveFromLength(char* data, std::size_t size, std::size_t count, void* body) {
    const std::string line(data, size * count);
    if (line.rfind("Content-Length:", 0) == 0) {
        static_cast<std::string*>(body)->reserve(std::stoull(line.substr(15)));
    }
    return size * count;
}

// The body once, in one string of its announced length.
bool bareDownload(const std::string& url) {
    std::string body;
    CURL* easy = curl_easy_init();
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &reserveFromLength);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &body);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &appendBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &body);
    const bool ok = curl_easy_perform(easy) == CURLE_OK && !body.empty();
    curl_easy_cleanup(easy);
    return ok;
}

// The answer through the client and the decoding its caller does.
bool clientDownload(Kind kind, const std::string& url, const KeyedFingerprints& offered) {
    auto request = HTTPRequest::requestWithURL(URL(url));
    request->setMaxResponseBodyBytes(64 * kMiB);
    bool done = false;
    request->setCompletionBlock([&done] { done = true; });
    request->setFailedBlock([&done] { done = true; });
    request->startAsynchronous();
    std::static_pointer_cast<EventLoop>(MainLoop::shared())->runUntil([&] { return done; }, std::chrono::minutes(5));
    if (request->error() || request->responseStatusCode() != 200) {
        std::fprintf(stderr, "the request failed: %s\n",
                     request->error() ? request->error()->localizedDescription().c_str() : "no answer");
        return false;
    }
    const std::vector<std::uint8_t>& body = request->responseData();
    const std::string_view text(reinterpret_cast<const char*>(body.data()), body.size());
    if (kind == Kind::Manifest) {
        const std::optional<JSONValue> answer = JSONDeserializer::deserializer().deserialize(text);
        const auto names = namesToSend(answer, offered);
        return names && names->size() == offered.size();
    }
    const auto books = decodeExistingBooks(text);
    return books && !books->empty();
}

// The child: "--child bare|client KIND URL KEYS"; prints "<baseline KiB> <peak KiB>".
int measure(const std::string& mode, Kind kind, const std::string& url, std::size_t keys) {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    auto loop = std::make_shared<EventLoop>();
    MainLoop::install(loop);
    KeyedFingerprints offered;
    for (std::size_t i = 0; i < keys; ++i) {
        offered.emplace(manifestKey(i), "f");
    }
    const long baseline = startMeasuring();
    const bool ok = mode == "bare" ? bareDownload(url) : clientDownload(kind, url, offered);
    const long peak = statusKiB("VmHWM:");
    std::printf("%ld %ld\n", baseline, peak);
    MainLoop::install(nullptr);
    return ok ? 0 : 1;
}

std::string rawAnswer(const std::string& body, bool compressed) {
    const std::string sent = compressed ? test::gzip(body) : body;
    return "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(sent.size()) +
           (compressed ? "\r\nContent-Encoding: gzip" : "") + "\r\n\r\n" + sent;
}

// Peak growth in MB of one child run, or a negative number when it failed.
double runMeasurement(test::ScriptedHTTPServer& server, const std::string& answer, const std::string& mode,
                      const KindInfo& kind, std::size_t keys) {
    server.enqueue(test::ScriptedResponse::rawBytes(answer));
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    const ChildResult result =
        runChild({self, "--child", mode, kind.name, server.url("/answer"), std::to_string(keys)});
    long baseline = 0;
    long peak = 0;
    if (!result.succeeded || std::sscanf(result.output.c_str(), "%ld %ld", &baseline, &peak) != 2) {
        return -1;
    }
    return static_cast<double>(peak - baseline) / 1024.0;
}

}  // namespace
}  // namespace tomely::bench

int main(int argc, char** argv) {
    using namespace tomely::bench;
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    if (arguments.size() == 5 && arguments[0] == "--child") {
        for (const KindInfo& kind : kKinds) {
            if (arguments[2] == kind.name) {
                return measure(arguments[1], kind.kind, arguments[3], std::stoull(arguments[4]));
            }
        }
        return 2;
    }
    std::vector<std::uint64_t> megabytes = {16, 32, 60};
    if (!arguments.empty() && arguments[0] == "--megabytes") {
        megabytes.clear();
        for (std::size_t i = 1; i < arguments.size(); ++i) {
            megabytes.push_back(std::stoull(arguments[i]));
        }
    }
    tomely::test::ScriptedHTTPServer server;
    std::printf("%-10s %10s %18s %18s %14s\n", "answer", "body MB", "bare libcurl MB", "client+decode MB",
                "client / body");
    bool allOk = true;
    for (const KindInfo& kind : kKinds) {
        for (const std::uint64_t size : megabytes) {
            const std::size_t keys = kind.kind == Kind::Manifest ? keysFor(size * kMiB) : 0;
            const std::string body = kind.kind == Kind::Manifest ? manifestAnswer(keys) : bookList(size * kMiB);
            const std::string answer = rawAnswer(body, kind.kind == Kind::GzipList);
            const double bodyMB = static_cast<double>(body.size()) / kMiB;
            const double bare = runMeasurement(server, answer, "bare", kind, keys);
            const double client = runMeasurement(server, answer, "client", kind, keys);
            allOk = allOk && bare >= 0 && client >= 0;
            std::printf("%-10s %10.1f %18.1f %18.1f %13.2fx\n", kind.name, bodyMB, bare, client, client / bodyMB);
        }
    }
    std::printf("(peak resident growth over the child's memory before the request; goal: client / body <= ~2)\n");
    return allOk ? 0 : 1;
}
