// Load and crash bench for tomely-shelf: N authors (8 by default) each sync a generated book
// (50 MB by default) through the service on loopback at the same time, every book is downloaded
// again and compared byte for byte, and then the same runs again against a fresh service that
// is killed with SIGKILL part-way, restarted, and synced to the end.
//
// Baseline, measured in the same run: the same multipart bodies posted by the same number of
// threads to an in-process HTTP server that reads and discards them.
//
// Bounded: a fixed number of authors and parts, and a time limit after which every client
// stops and the bench fails.
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <set>
#include <stdexcept>
#include <thread>

#include <httplib.h>
#include <nlohmann/json.hpp>

#include "BookGenerator.h"
#include "LoadReport.h"
#include "ShelfClient.h"
#include "ShelfProcess.h"

namespace tomely::bench {
namespace {

using Clock = std::chrono::steady_clock;
using shelf::client::Part;
using shelf::client::ShelfClient;
using shelf::client::ShelfProcess;
using shelf::client::Target;

struct Settings {
    int authors = 8;
    std::size_t bookBytes = 50'000'000;
    std::chrono::seconds timeLimit{900};
    double killAt = 0.4;  // share of all parts acknowledged when the service is killed
};

struct Author {
    int index = 0;
    std::string email;
    std::string password;
    std::string guid;
    std::string title;
    std::map<std::string, std::string> files;
    std::vector<Part> parts;
    std::size_t rawBytes = 0;
    std::size_t deflatedBytes = 0;
};

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double secondsSince(Clock::time_point start) {
    return millisecondsSince(start) / 1000.0;
}

class TemporaryDirectory {
public:
    TemporaryDirectory() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tomely-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("cannot create a temporary directory");
        }
        path_ = pattern;
    }
    ~TemporaryDirectory() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;
    [[nodiscard]] const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// Every client checks the deadline before each request, so the bench ends in bounded time.
class Deadline {
public:
    explicit Deadline(std::chrono::seconds limit) : end_(Clock::now() + limit) {}
    void check() const {
        if (Clock::now() > end_) {
            throw std::runtime_error("time limit passed");
        }
    }

private:
    Clock::time_point end_;
};

std::vector<Author> prepareAuthors(const Settings& settings) {
    std::vector<Author> authors(static_cast<std::size_t>(settings.authors));
    std::vector<std::thread> workers;
    for (int i = 0; i < settings.authors; ++i) {
        workers.emplace_back([&, i] {
            Author& author = authors[static_cast<std::size_t>(i)];
            author.index = i;
            author.email = "author" + std::to_string(i) + "@bench.test";
            author.password = "bench-password-" + std::to_string(i);
            author.guid = "BENCH-" + std::to_string(i);
            author.title = "Bench book " + std::to_string(i);
            author.files = generateBook(static_cast<unsigned>(1000 + i), settings.bookBytes);
            author.parts = shelf::client::splitBook(author.files);
            for (const auto& part : author.parts) {
                author.rawBytes += part.bytes.size();
                author.deflatedBytes += part.deflated.size();
            }
        });
    }
    for (auto& worker : workers) {
        worker.join();
    }
    return authors;
}

std::vector<std::string> shelfArguments(const std::filesystem::path& data) {
    return {"--listen", "127.0.0.1:0", "--data", data.string()};
}

ShelfProcess::Users shelfUsers(const std::vector<Author>& authors) {
    ShelfProcess::Users users;
    for (const auto& author : authors) {
        users.emplace_back(author.email, author.password);
    }
    return users;
}

// Runs `body` once per author on its own thread; rethrows the first failure.
void onEveryAuthor(std::vector<Author>& authors, const std::function<void(Author&)>& body) {
    std::mutex mutex;
    std::exception_ptr failure;
    std::vector<std::thread> threads;
    for (auto& author : authors) {
        threads.emplace_back([&] {
            try {
                body(author);
            } catch (...) {
                std::scoped_lock lock(mutex);
                if (!failure) {
                    failure = std::current_exception();
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
}

// The baseline: the same part bodies, posted the same way, to a server that only reads them.
double baseline(std::vector<Author>& authors, Latencies& latencies, const Deadline& deadline) {
    httplib::Server sink;
    sink.new_task_queue = [] { return new httplib::ThreadPool(32); };
    sink.set_payload_max_length(8U * 1024U * 1024U);
    sink.set_tcp_nodelay(true);
    sink.Post("/discard/", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("{}", "application/json");
    });
    const int port = sink.bind_to_any_port("127.0.0.1");
    std::thread serving([&] { sink.listen_after_bind(); });
    const auto start = Clock::now();
    try {
        onEveryAuthor(authors, [&](Author& author) {
            ShelfClient client("127.0.0.1", port);
            for (std::size_t i = 0; i < author.parts.size(); ++i) {
                deadline.check();
                const auto form = shelf::client::partForm(author.parts[i], i, author.parts.size(), {{}, author.title});
                const auto sent = Clock::now();
                const auto reply =
                    client.post("/discard/", shelf::client::multipartBody(form), shelf::client::kMultipartType);
                latencies.add(millisecondsSince(sent));
                if (reply.status != 200) {
                    throw std::runtime_error("baseline post failed");
                }
            }
        });
    } catch (...) {
        sink.stop();
        serving.join();
        throw;
    }
    const double seconds = secondsSince(start);
    sink.stop();
    serving.join();
    return seconds;
}

struct SyncProgress {
    std::mutex mutex;
    std::condition_variable changed;
    std::size_t acknowledged = 0;
    bool clientsDone = false;
};

struct AuthorRun {
    std::vector<std::string> asked;
    std::set<std::string> acknowledged;
    bool completed = false;
    int failureStatus = 200;
};

// The uploader's sync, timed request by request: manifest, then each part asked for, stopping at
// the first failure.
AuthorRun syncAuthor(ShelfClient& client, const Author& author, const Target& target, Latencies& manifests,
                     Latencies& parts, SyncProgress& progress, const Deadline& deadline) {
    AuthorRun run;
    deadline.check();
    auto sent = Clock::now();
    const auto manifest =
        client.postManifest(author.guid, shelf::client::manifestJson(author.parts, author.guid, target));
    manifests.add(millisecondsSince(sent));
    if (manifest.status != 200) {
        run.failureStatus = manifest.status;
        return run;
    }
    run.asked = nlohmann::json::parse(manifest.body).get<std::vector<std::string>>();
    std::map<std::string, const Part*> byName;
    for (const auto& part : author.parts) {
        byName[part.name] = &part;
    }
    for (std::size_t i = 0; i < run.asked.size(); ++i) {
        deadline.check();
        const auto form = shelf::client::partForm(*byName.at(run.asked[i]), i, run.asked.size(), target);
        sent = Clock::now();
        const auto reply = client.postPart(author.guid, form);
        if (reply.status != 200) {
            run.failureStatus = reply.status;
            return run;
        }
        parts.add(millisecondsSince(sent));
        run.acknowledged.insert(run.asked[i]);
        {
            std::scoped_lock lock(progress.mutex);
            ++progress.acknowledged;
        }
        progress.changed.notify_all();
    }
    run.completed = true;
    return run;
}

std::unique_ptr<ShelfClient> signIn(int port, const Author& author) {
    auto client = std::make_unique<ShelfClient>("127.0.0.1", port);
    if (client->signIn(author.email, author.password).status != 200) {
        throw std::runtime_error("sign-in failed for " + author.email);
    }
    return client;
}

// The author's book as the list shows it: its id and how many versions it has, if any.
std::optional<std::pair<std::int64_t, nlohmann::json>> findBook(ShelfClient& client, const Author& author) {
    const auto books = nlohmann::json::parse(client.list().body);
    for (const auto& book : books) {
        for (const auto& download : book.at("downloads")) {
            if (download.at("guid") == author.guid) {
                return std::make_pair(book.at("book_id").get<std::int64_t>(), book);
            }
        }
    }
    return std::nullopt;
}

// Downloads the author's latest version and compares every file byte for byte.
bool rebuiltIdentical(ShelfClient& client, const Author& author) {
    const auto book = findBook(client, author);
    if (!book || book->second.at("downloads").size() != 1) {
        return false;
    }
    const auto archive = client.get(book->second["downloads"][0].at("url").get<std::string>());
    const auto files = shelf::client::unzipAll(archive.body);
    if (!files || files->size() != author.files.size()) {
        return false;
    }
    for (const auto& [path, content] : author.files) {
        const auto found = files->find(path.substr(1));
        if (found == files->end() || found->second != content) {
            return false;
        }
    }
    return true;
}

int run(const Settings& settings) {
    const Deadline deadline(settings.timeLimit);
    std::printf("tomely-shelf load bench: %d authors, books of %.1f MB, time limit %lld s\n", settings.authors,
                static_cast<double>(settings.bookBytes) / 1e6, static_cast<long long>(settings.timeLimit.count()));
    auto prepared = Clock::now();
    auto authors = prepareAuthors(settings);
    std::size_t totalParts = 0;
    double rawBytes = 0;
    double deflatedBytes = 0;
    for (const auto& author : authors) {
        totalParts += author.parts.size();
        rawBytes += static_cast<double>(author.rawBytes);
        deflatedBytes += static_cast<double>(author.deflatedBytes);
    }
    std::printf("prepared %zu parts (%.1f MB, %.1f MB deflated) in %.1f s\n\n", totalParts, rawBytes / 1e6,
                deflatedBytes / 1e6, secondsSince(prepared));

    Latencies baselineLatencies;
    const double baselineSeconds = baseline(authors, baselineLatencies, deadline);
    std::printf("baseline (discarding server)  %s\n", throughput(deflatedBytes, baselineSeconds).c_str());
    std::printf("  part posts                  %s\n\n", baselineLatencies.summary().c_str());

    bool allGood = true;
    {
        TemporaryDirectory data;
        ShelfProcess service(TOMELY_SHELF_EXECUTABLE, shelfArguments(data.path()), shelfUsers(authors));
        Latencies manifests;
        Latencies parts;
        SyncProgress progress;
        std::atomic<int> identical{0};
        std::atomic<std::size_t> askedAgain{0};
        const auto start = Clock::now();
        onEveryAuthor(authors, [&](Author& author) {
            auto client = signIn(service.port(), author);
            const auto result = syncAuthor(*client, author, {{}, author.title}, manifests, parts, progress, deadline);
            if (!result.completed) {
                throw std::runtime_error("sync failed with status " + std::to_string(result.failureStatus));
            }
        });
        const double seconds = secondsSince(start);
        onEveryAuthor(authors, [&](Author& author) {
            auto client = signIn(service.port(), author);
            identical += rebuiltIdentical(*client, author) ? 1 : 0;
            const auto book = findBook(*client, author);
            Latencies ignored;
            const auto again =
                syncAuthor(*client, author, {book ? book->first : 0, {}}, manifests, ignored, progress, deadline);
            askedAgain += again.asked.size();
        });
        std::printf("sync through tomely-shelf     %s (raw %.1f MB/s)\n", throughput(deflatedBytes, seconds).c_str(),
                    rawBytes / 1e6 / seconds);
        std::printf("  part uploads                %s\n", parts.summary().c_str());
        std::printf("  manifests                   %s\n", manifests.summary().c_str());
        std::printf("  books rebuilt byte-identical %d of %d; parts asked again by an unchanged re-sync: %zu\n\n",
                    identical.load(), settings.authors, askedAgain.load());
        allGood = allGood && identical == settings.authors && askedAgain == 0;
    }

    {
        TemporaryDirectory data;
        auto service =
            std::make_unique<ShelfProcess>(TOMELY_SHELF_EXECUTABLE, shelfArguments(data.path()), shelfUsers(authors));
        Latencies manifests;
        Latencies parts;
        SyncProgress progress;
        std::vector<AuthorRun> firstRuns(authors.size());
        const auto killAfter = static_cast<std::size_t>(settings.killAt * static_cast<double>(totalParts));
        std::thread killer([&] {
            std::unique_lock lock(progress.mutex);
            progress.changed.wait(lock, [&] { return progress.acknowledged >= killAfter || progress.clientsDone; });
            service->sendSignal(SIGKILL);
        });
        const int port = service->port();
        try {
            onEveryAuthor(authors, [&](Author& author) {
                auto client = signIn(port, author);
                firstRuns[static_cast<std::size_t>(author.index)] =
                    syncAuthor(*client, author, {{}, author.title}, manifests, parts, progress, deadline);
            });
        } catch (...) {
            {
                std::scoped_lock lock(progress.mutex);
                progress.clientsDone = true;
            }
            progress.changed.notify_all();
            killer.join();
            throw;
        }
        {
            std::scoped_lock lock(progress.mutex);
            progress.clientsDone = true;
        }
        progress.changed.notify_all();
        killer.join();
        const int killedStatus = service->wait(std::chrono::seconds(30));
        std::size_t acknowledged = 0;
        std::size_t completedBefore = 0;
        for (const auto& first : firstRuns) {
            acknowledged += first.acknowledged.size();
            completedBefore += first.completed ? 1 : 0;
        }
        service =
            std::make_unique<ShelfProcess>(TOMELY_SHELF_EXECUTABLE, shelfArguments(data.path()), shelfUsers(authors));
        std::atomic<std::size_t> asked{0};
        std::atomic<std::size_t> lostAcknowledged{0};
        std::atomic<std::size_t> storedUnacknowledged{0};
        std::atomic<int> identical{0};
        std::atomic<std::size_t> askedAgain{0};
        Latencies resyncParts;
        const auto start = Clock::now();
        onEveryAuthor(authors, [&](Author& author) {
            auto client = signIn(service->port(), author);
            const auto& first = firstRuns[static_cast<std::size_t>(author.index)];
            const auto book = findBook(*client, author);
            const Target target = book ? Target{book->first, {}} : Target{{}, author.title};
            const auto second = syncAuthor(*client, author, target, manifests, resyncParts, progress, deadline);
            if (!second.completed) {
                throw std::runtime_error("re-sync failed with status " + std::to_string(second.failureStatus));
            }
            asked += second.asked.size();
            std::size_t notAsked = 0;
            for (const auto& name : first.asked) {
                if (first.acknowledged.count(name) == 0 &&
                    std::find(second.asked.begin(), second.asked.end(), name) == second.asked.end()) {
                    ++notAsked;
                }
            }
            storedUnacknowledged += notAsked;
            for (const auto& name : second.asked) {
                lostAcknowledged += first.acknowledged.count(name);
            }
            identical += rebuiltIdentical(*client, author) ? 1 : 0;
            const auto finished = findBook(*client, author);
            Latencies ignored;
            askedAgain += syncAuthor(*client, author, {finished ? finished->first : 0, {}}, manifests, ignored,
                                     progress, deadline)
                              .asked.size();
        });
        const double seconds = secondsSince(start);
        service->sendSignal(SIGTERM);
        const int stoppedStatus = service->wait(std::chrono::seconds(30));
        std::printf("SIGKILL after %zu of %zu parts acknowledged (%zu books complete); exit status %d\n", acknowledged,
                    totalParts, completedBefore, killedStatus);
        std::printf("  before the kill, part uploads %s\n", parts.summary().c_str());
        std::printf(
            "  after restart: asked for %zu parts (%zu not acknowledged before the kill, %zu of those had\n"
            "  been stored before the kill); acknowledged parts asked again (lost): %zu\n",
            asked.load(), totalParts - acknowledged, storedUnacknowledged.load(), lostAcknowledged.load());
        std::printf("  re-sync to the end           %.2f s, part uploads %s\n", seconds, resyncParts.summary().c_str());
        std::printf("  books rebuilt byte-identical %d of %d; parts asked by a further re-sync: %zu; SIGTERM exit %d\n",
                    identical.load(), settings.authors, askedAgain.load(), stoppedStatus);
        allGood = allGood && lostAcknowledged == 0 && identical == settings.authors && askedAgain == 0 &&
                  killedStatus == 128 + SIGKILL && stoppedStatus == 0;
    }
    std::printf("\n%s\n", allGood ? "PASS: nothing lost, nothing corrupted" : "FAIL");
    return allGood ? 0 : 1;
}

}  // namespace
}  // namespace tomely::bench

int main(int argc, char** argv) {
    tomely::bench::Settings settings;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        const long value = std::strtol(argv[i + 1], nullptr, 10);
        if (option == "--authors" && value > 0 && value <= 64) {
            settings.authors = static_cast<int>(value);
        } else if (option == "--book-mb" && value > 0 && value <= 200) {
            settings.bookBytes = static_cast<std::size_t>(value) * 1'000'000;
        } else if (option == "--time-limit" && value > 0) {
            settings.timeLimit = std::chrono::seconds(value);
        } else {
            std::fprintf(stderr, "usage: bench_service_load [--authors 1-64] [--book-mb 1-200] [--time-limit S]\n");
            return 2;
        }
    }
    try {
        return tomely::bench::run(settings);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_service_load: %s\n", error.what());
        return 1;
    }
}
