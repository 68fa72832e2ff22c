// tomely-publish run as a subprocess against tomely-shelf started by the test, each run with a
// caches directory of the test's own, where no run directory may be left behind.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>

#include "ShelfClient.h"
#include "ShelfProcess.h"
#include "common/ScopedEnvironment.h"
#include "common/TemporaryDirectory.h"
#include "common/Zip64Writer.h"
#include "common/ZipBuilder.h"
#include "shelf/SecretServiceKeychain.h"
#include "shelf/StoredCredentials.h"

namespace tomely {
namespace {

using shelf::client::ShelfProcess;
constexpr const char* kEmail = "ann@example.com";
constexpr const char* kPassword = "ann-secret";
constexpr auto kDeadline = std::chrono::seconds(120);

class PublishEndToEndTest : public ::testing::Test {
protected:
    PublishEndToEndTest() { environment_.set("XDG_CACHE_HOME", directory_.pathOf("cache")); }

    // tomely-shelf on a port of its own, with the author's account, and `options` added.
    static std::unique_ptr<ShelfProcess> startService(const test::TemporaryDirectory& data,
                                                      std::vector<std::string> options = {}) {
        std::vector<std::string> arguments = {"--listen", "127.0.0.1:0", "--data", data.path()};
        arguments.insert(arguments.end(), options.begin(), options.end());
        return std::make_unique<ShelfProcess>(TOMELY_SHELF_EXECUTABLE, arguments,
                                              ShelfProcess::Users{{kEmail, kPassword}});
    }

    // A book whose index.xml names `guid` (none: no GUID at all), with a chapter and a movie of
    // `movieBytes` random bytes.
    std::string writeBook(const std::string& name, const std::optional<std::string>& guid,
                          std::size_t movieBytes = 2'500'000, unsigned seed = 1) {
        const std::string path = directory_.pathOf(name);
        const std::string textbook = guid
                                         ? "<sl:textbook sl:GUID=\"" + *guid + "\"><sl:title>T</sl:title></sl:textbook>"
                                         : "<sl:textbook><sl:title>T</sl:title></sl:textbook>";
        test::ZipBuilder(path)
            .add("index.xml", "<?xml version=\"1.0\"?>\n" + textbook + "\n")
            .add("chapters/one.xhtml", "<html><p>One " + name + "</p></html>")
            .add("media/movie.mov", test::randomBytes(movieBytes, seed));
        return path;
    }

    // Starts tomely-publish on `book` with the password on standard input.
    [[nodiscard]] std::unique_ptr<ShelfProcess> startPublish(const std::string& book, std::vector<std::string> options,
                                                             int port = 0, const std::string& password = kPassword) {
        std::vector<std::string> arguments = {"--email", kEmail, "--password-stdin", "--service",
                                              "http://127.0.0.1:" + std::to_string(port ? port : service_->port())};
        arguments.insert(arguments.end(), options.begin(), options.end());
        arguments.push_back(book);
        return std::make_unique<ShelfProcess>(TOMELY_PUBLISH_EXECUTABLE, arguments, password + "\n");
    }

    // Runs it to the end: the exit status and everything it printed.
    std::pair<int, std::string> publish(const std::string& book, std::vector<std::string> options, int port = 0,
                                        const std::string& password = kPassword) {
        auto run = startPublish(book, std::move(options), port, password);
        const int status = run->wait(kDeadline);
        return {status, run->output()};
    }

    // Requests of this kind the service has answered with 200 so far.
    [[nodiscard]] std::size_t served(const std::string& kind) const {
        const std::string log = service_->output();
        const std::regex request("POST /api/author/shelf/upload/" + kind + "[^ ]* 200");
        return static_cast<std::size_t>(
            std::distance(std::sregex_iterator(log.begin(), log.end(), request), std::sregex_iterator()));
    }

    [[nodiscard]] nlohmann::json shelfBooks() const {
        shelf::client::ShelfClient client("127.0.0.1", service_->port());
        client.signIn(kEmail, kPassword);
        return nlohmann::json::parse(client.list().body);
    }

    // Whatever run directories are left.
    [[nodiscard]] std::vector<std::string> runsLeft() const {
        return test::treeListing(directory_.pathOf("cache/tomely-uploader/runs"));
    }

    test::TemporaryDirectory directory_;
    test::ScopedEnvironment environment_;
    test::TemporaryDirectory serviceData_;
    std::unique_ptr<ShelfProcess> service_ = startService(serviceData_);
};

TEST_F(PublishEndToEndTest, ARehearsalSendsNothingThenTheBookIsRebuiltByteForByteAndARerunSendsNothing) {
    const std::string book = writeBook("walk.iba", "G-WALK");

    auto [status, output] = publish(book, {"--new", "Walk", "--dry-run"});
    EXPECT_EQ(status, 0) << output;
    EXPECT_NE(output.find("Dry run: 5 parts"), std::string::npos) << output;
    EXPECT_EQ(served("manifest") + served("G-WALK"), 0U) << "neither manifest nor part";
    EXPECT_TRUE(shelfBooks().empty());

    std::tie(status, output) = publish(book, {"--new", "Walk"});
    ASSERT_EQ(status, 0) << output;
    EXPECT_EQ(served("G-WALK"), 5U) << "index, chapter, and the movie's three parts";
    const nlohmann::json books = shelfBooks();
    ASSERT_EQ(books.size(), 1U);
    EXPECT_EQ(books[0].at("title"), "Walk");
    shelf::client::ShelfClient client("127.0.0.1", service_->port());
    client.signIn(kEmail, kPassword);
    const auto rebuilt =
        shelf::client::unzipAll(client.get(books[0].at("downloads").at(0).at("url").get<std::string>()).body);
    EXPECT_EQ(rebuilt, shelf::client::unzipAll(test::readFile(book)));

    // No target named: the book whose uploads carry the GUID is replaced, and the shelf has every part.
    std::tie(status, output) = publish(book, {"--json"});
    ASSERT_EQ(status, 0) << output;
    EXPECT_EQ(served("G-WALK"), 5U);
    std::istringstream lines(output);
    std::vector<nlohmann::json> events;
    for (std::string line; std::getline(lines, line);) {
        events.push_back(nlohmann::json::parse(line, nullptr, false));
        ASSERT_FALSE(events.back().is_discarded()) << line;
    }
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.front().at("event"), "stage");
    EXPECT_EQ(events.back().at("event"), "result");
    EXPECT_EQ(events.back().at("outcome"), "nothing-to-send");
    EXPECT_EQ(events.back().at("book_id"), books[0].at("book_id")) << "with the list's JSON type";
    EXPECT_EQ(events.back().at("parts_sent"), 0);
    EXPECT_EQ(shelfBooks().size(), 1U);
    EXPECT_EQ(runsLeft(), std::vector<std::string>{});
}

TEST_F(PublishEndToEndTest, EveryExitCodeComesFromItsCause) {
    ASSERT_EQ(publish(writeBook("taken.iba", "G-TAKEN", 1000), {"--new", "Taken Title"}).first, 0);
    const std::string book = writeBook("book.iba", "G-BOOK", 1000);
    const std::string truncated = writeBook("truncated.iba", "G-CUT");
    std::filesystem::resize_file(truncated, std::filesystem::file_size(truncated) / 2);
    test::TemporaryDirectory faultyData;
    const auto faulty = startService(faultyData, {"--fault-after-parts", "0", "--fault-kind", "503"});

    struct Case {
        const char* cause;
        std::string book;
        std::vector<std::string> options;
        int port;
        const char* password;
        int status;
        const char* says;
    };
    const Case cases[] = {
        {"wrong password", book, {"--new", "B"}, 0, "wrong", 3, "(403)"},
        {"truncated zip", truncated, {"--new", "B"}, 0, kPassword, 4, "cannot open"},
        {"no GUID", writeBook("anonymous.iba", std::nullopt, 1000), {"--new", "B"}, 0, kPassword, 4, "GUID"},
        {"a GUID of two dots",
         writeBook("dots.iba", "..", 1000),
         {"--new", "B"},
         0,
         kPassword,
         4,
         "names the book GUID \"..\", made only of dots, which cannot name a book on the service."},
        {"the service's fault switch", book, {"--new", "B", "--retries", "0"}, faulty->port(), kPassword, 6, "503"},
        {"an unreachable port", book, {"--new", "B", "--retries", "0"}, 1, kPassword, 5, "failed"},
        {"no target",
         book,
         {},
         0,
         kPassword,
         2,
         "--replace BOOK_ID (--list shows them), or publish a new one with --new TITLE"},
        {"a slug clash", book, {"--new", "TAKEN TITLE"}, 0, kPassword, 2, "already has a title like"},
        {"an unknown book id", book, {"--replace", "999"}, 0, kPassword, 2, "no book 999"},
        {"a password in the arguments", book, {"--password", "x"}, 0, kPassword, 2, "--password-stdin"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cause);
        const auto [status, output] = publish(c.book, c.options, c.port, c.password);
        EXPECT_EQ(status, c.status) << output;
        EXPECT_NE(output.find(c.says), std::string::npos) << output;
    }
    EXPECT_EQ(shelfBooks().size(), 1U);
    EXPECT_EQ(runsLeft(), std::vector<std::string>{});
}

// One part at a time. The waits are real (from 1 s, each stretched by up to a quarter), and the
// stall ends through the request's time-out.
TEST_F(PublishEndToEndTest, APublishRidesOutADropAStallAndA503OrExitsWithTheirCodeOnceItsRetriesAreSpent) {
    const std::string book = writeBook("flaky.iba", "G-FLAKY", 3'000'000);
    test::TemporaryDirectory flakyData;
    const auto flaky =
        startService(flakyData, {"--fault-after-parts", "1", "--fault-kind", "drop,stall,503", "--fault-count", "3"});
    const auto [published, events] =
        publish(book, {"--new", "Flaky", "--json", "--parallel", "1", "--retries", "3"}, flaky->port());
    EXPECT_EQ(published, 0) << events;
    // Keys come in order; the delays vary with the jitter. Which attempt each fault strikes depends
    // on the transport too: a request sends itself once more at once when its connection is lost.
    for (
        const char* event :
        {R"({"attempt":2,"attempts":4,"delay_ms":)",
         R"x("event":"retrying","message":"Connection lost, trying again in 1 s (attempt 2 of 4)","stage":"uploading"})x",
         R"("exit":0,"outcome":"published")"}) {
        EXPECT_NE(events.find(event), std::string::npos) << event << " in " << events;
    }

    test::TemporaryDirectory busyData;
    const auto busy = startService(busyData, {"--fault-after-parts", "0", "--fault-kind", "503"});
    const auto [spent, said] = publish(book, {"--new", "Busy", "--retries", "1"}, busy->port());
    EXPECT_EQ(spent, 6) << said;
    for (const char* line : {"Connection lost, trying again in 1 s (attempt 2 of 2)\n", "503"}) {
        EXPECT_NE(said.find(line), std::string::npos) << line << " in " << said;
    }
    EXPECT_EQ(runsLeft(), std::vector<std::string>{});
}

TEST_F(PublishEndToEndTest, VersionPrintsTheVersionAndEnds) {
    ShelfProcess run(TOMELY_PUBLISH_EXECUTABLE, {"--version"}, std::string());
    EXPECT_EQ(run.wait(kDeadline), 0);
    EXPECT_EQ(run.output(), "tomely-publish 1.0.0\n");
}

// The last JSON event of a run's output.
nlohmann::json lastEvent(const std::string& output) {
    const std::size_t start = output.rfind('\n', output.size() - 2);
    return nlohmann::json::parse(output.substr(start == std::string::npos ? 0 : start + 1), nullptr, false);
}

// --list answers "which book id?": every book of the shelf, and which of them this book's uploads
// made, as text or as one JSON result; nothing is published.
TEST_F(PublishEndToEndTest, ListShowsEachBooksIdTitleAndWhetherThisBookMadeIt) {
    const std::string walk = writeBook("walk.iba", "G-WALK", 1000);
    ASSERT_EQ(publish(walk, {"--new", "Walk"}).first, 0);
    ASSERT_EQ(publish(writeBook("other.iba", "G-OTHER", 1000), {"--new", "Other"}).first, 0);
    const nlohmann::json books = shelfBooks();
    ASSERT_EQ(books.size(), 2U);
    std::map<std::string, std::string> idOf;
    for (const nlohmann::json& book : books) {
        idOf[book.at("title").get<std::string>()] = book.at("book_id").dump();
    }
    const std::size_t storedBefore = served("G-WALK");

    auto [status, output] = publish(walk, {"--list"});
    EXPECT_EQ(status, 0) << output;
    EXPECT_NE(output.find("\n" + idOf["Walk"] + "  Walk  (uploaded from this book)\n"), std::string::npos) << output;
    EXPECT_NE(output.find("\n" + idOf["Other"] + "  Other\n"), std::string::npos) << output;

    std::tie(status, output) = publish(walk, {"--list", "--json"});
    EXPECT_EQ(status, 0) << output;
    const nlohmann::json result = lastEvent(output);
    EXPECT_EQ(result.value("outcome", ""), "listed") << output;
    EXPECT_EQ(result.value("guid", ""), "G-WALK");
    std::map<std::string, bool> fromThisBook;
    for (const nlohmann::json& book : result.value("books", nlohmann::json::array())) {
        EXPECT_EQ(book.at("book_id").dump(), idOf[book.at("title").get<std::string>()]) << "with the list's JSON type";
        fromThisBook[book.at("title").get<std::string>()] = book.at("from_this_book").get<bool>();
    }
    EXPECT_EQ(fromThisBook, (std::map<std::string, bool>{{"Other", false}, {"Walk", true}}));
    EXPECT_EQ(served("G-WALK"), storedBefore) << "nothing published";
    EXPECT_EQ(served("manifest"), 2U) << "the two publications' only";
    EXPECT_EQ(runsLeft(), std::vector<std::string>{});
}

// A mistyped path is said at once, in the words of the file system, and the service hears of no
// sign-in: the check needs nothing but this machine.
TEST_F(PublishEndToEndTest, ABookThatIsMissingOrADirectoryIsRefusedBeforeSigningIn) {
    const std::string missing = directory_.pathOf("nowhere/walk.iba");
    const std::string folder = directory_.pathOf("books");
    std::filesystem::create_directories(folder);
    struct Case {
        const char* name;
        std::string book;
        std::string printed;
    };
    const Case cases[] = {
        {"a missing file", missing, "tomely-publish: cannot open " + missing + ": no such file\n"},
        {"a directory", folder, "tomely-publish: cannot open " + folder + ": a directory, not a book\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto [status, output] = publish(c.book, {"--new", "Walk"});
        EXPECT_EQ(status, 4);
        EXPECT_EQ(output, c.printed);
    }
    EXPECT_EQ(service_->output().find("/api/author/shelf/upload/auth/"), std::string::npos) << service_->output();
    EXPECT_EQ(runsLeft(), std::vector<std::string>{});
}

// The last line of a failed run says what to try next.
TEST_F(PublishEndToEndTest, AFailedRunEndsWithWhatToDoNext) {
    const std::string book = writeBook("book.iba", "G-BOOK", 1000);
    test::TemporaryDirectory faultyData;
    const auto faulty = startService(faultyData, {"--fault-after-parts", "0", "--fault-kind", "503"});
    const std::string service = "http://127.0.0.1:" + std::to_string(service_->port());
    struct Case {
        const char* name;
        std::vector<std::string> options;
        int port;
        const char* password;
        int status;
        std::string lastLineEnd;
    };
    const Case cases[] = {
        {"a wrong password",
         {"--new", "B"},
         0,
         "wrong",
         3,
         "the service refused the e-mail address and password of ann@example.com (403); check them, or reset the "
         "password at " +
             service + "/account/recover/"},
        {"nothing listening",
         {"--new", "B"},
         1,
         kPassword,
         5,
         "; check the service's address (--service URL or TOMELY_SERVICE_URL)"},
        {"a part refused",
         {"--new", "B"},
         faulty->port(),
         kPassword,
         6,
         "; running the same command again sends only what is missing"},
        {"an address without a scheme",
         {"--service", "127.0.0.1:8750"},
         0,
         kPassword,
         2,
         "--service wants a URL that starts with http:// or https://, such as https://books.example.org, not "
         "\"127.0.0.1:8750\" (see tomely-publish --help)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto [status, output] = publish(book, c.options, c.port, c.password);
        EXPECT_EQ(status, c.status) << output;
        EXPECT_TRUE(output.ends_with(c.lastLineEnd + "\n")) << output;
    }
}

// What a run says of the book's size holds whether the memo knew its parts or not, and a new book
// made of parts the shelf already held is said to be made.
TEST_F(PublishEndToEndTest, TheFiguresAreTheBooksWhateverTheMemoKnewAndANewBookOfKnownPartsIsSaidToBeMade) {
    const std::string book = writeBook("walk.iba", "G-WALK", 4'000'000);
    const std::string rehearsal =
        "Dry run: 6 parts, 4.0 MB compressed would go to the new book \"Walk\". Nothing was published.\n";
    struct Run {
        const char* name;
        std::vector<std::string> options;
    };
    const Run rehearsals[] = {{"a cold memo", {"--new", "Walk", "--dry-run"}},
                              {"a warm memo", {"--new", "Walk", "--dry-run"}}};
    std::vector<nlohmann::json> results;
    for (const Run& run : rehearsals) {
        SCOPED_TRACE(run.name);
        auto [status, output] = publish(book, run.options);
        EXPECT_EQ(status, 0);
        EXPECT_TRUE(output.ends_with(rehearsal)) << output;
        std::vector<std::string> json = run.options;
        json.emplace_back("--json");
        std::tie(status, output) = publish(book, json);
        results.push_back(lastEvent(output));
    }
    ASSERT_EQ(results.size(), 2U);
    EXPECT_GT(results[0].value("bytes", 0), 4'000'000);
    EXPECT_EQ(results[1].value("bytes", 0), results[0].value("bytes", 0));

    auto [status, output] = publish(book, {"--new", "Walk"});
    ASSERT_EQ(status, 0) << output;

    // The shelf holds every part of this GUID now: the manifest alone makes the second book.
    std::tie(status, output) = publish(book, {"--new", "Walk Again"});
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(
        output.ends_with("Nothing to send: the shelf already held all 6 parts, 4.0 MB compressed, and the "
                         "new book \"Walk Again\" was created from them.\n"))
        << output;
    EXPECT_EQ(shelfBooks().size(), 2U);
}

TEST_F(PublishEndToEndTest, AnInterruptDuringTheUploadCancelsItAndLeavesNoRunDirectory) {
    const std::string book = writeBook("slow.iba", "G-SLOW", 4'000'000);
    auto run = startPublish(book, {"--new", "Slow", "--json", "--limit-rate", "200K"});
    ASSERT_TRUE(run->waitForOutput(R"("stage":"uploading")", kDeadline)) << run->output();
    EXPECT_FALSE(runsLeft().empty());
    run->sendSignal(SIGINT);
    EXPECT_EQ(run->wait(kDeadline), 130) << run->output();
    EXPECT_NE(run->output().find(R"("exit":130)"), std::string::npos) << run->output();
    EXPECT_NE(run->output().find("interrupted; nothing of this run is left behind, and running the same command "
                                 "again sends only what is missing"),
              std::string::npos)
        << run->output();
    EXPECT_EQ(runsLeft(), std::vector<std::string>{});
}

// A run of --new TITLE cut short leaves parts on the shelf but no book yet, which the shelf makes
// once every part has come: the run without --new says how to go on, and the same --new TITLE
// sends only what is missing.
TEST_F(PublishEndToEndTest, ANewBookCutShortIsFinishedByTheSameNewTitleAgain) {
    const std::string book = writeBook("slow.iba", "G-SLOW", 4'000'000);
    auto run = startPublish(book, {"--new", "Slow", "--json", "--limit-rate", "200K"});
    ASSERT_TRUE(service_->waitForOutput("POST /api/author/shelf/upload/G-SLOW/ 200", kDeadline)) << run->output();
    run->sendSignal(SIGINT);
    ASSERT_EQ(run->wait(kDeadline), 130) << run->output();
    ASSERT_TRUE(shelfBooks().empty());

    auto [status, output] = publish(book, {});
    EXPECT_EQ(status, 2);
    EXPECT_TRUE(output.ends_with(
        "tomely-publish: no book on your shelf was uploaded from this book (GUID G-SLOW): choose one with --replace "
        "BOOK_ID (--list shows them), or publish a new one with --new TITLE; to finish a run with --new TITLE that was "
        "cut short, give "
        "the same --new TITLE again\n"))
        << output;

    const std::size_t storedBefore = served("G-SLOW");
    std::tie(status, output) = publish(book, {"--new", "Slow"});
    EXPECT_EQ(status, 0) << output;
    EXPECT_GT(storedBefore, 0U);
    EXPECT_EQ(served("G-SLOW"), 6U) << "index, chapter and four parts, each stored once over both runs";
    const nlohmann::json books = shelfBooks();
    ASSERT_EQ(books.size(), 1U);
    EXPECT_EQ(books[0].at("title"), "Slow");
}

#ifdef TOMELY_WRITE_FAULT_SHIM

// Ctrl-C arrives while a stage writes a large file (tests/common/WriteFaultShim.cpp sends it once
// the run has written so much). The stage must stop within a few blocks, not at the end of the
// file: what it writes after the interrupt is counted, so the test tells the two apart without
// timing anything. The movie is a hole in a sparse book, so the book itself costs no disk.
TEST_F(PublishEndToEndTest, AnInterruptDuringALargeFileStopsItsStageAtOnceAndLeavesNothing) {
    constexpr std::uint64_t kMiB = 1024 * 1024;
    constexpr std::uint64_t kMovie = 384 * kMiB;
    const std::string book = directory_.pathOf("large.iba");
    {
        test::Zip64Writer zip(book);
        const std::string index = "<sl:textbook sl:GUID=\"G-LARGE\"></sl:textbook>\n";
        zip.add("index.xml", index.size(), test::Zip64Writer::Method::Stored,
                [&index](std::uint64_t, std::span<std::uint8_t> block) {
                    std::copy(index.begin(), index.end(), block.begin());
                });
        zip.add("media/movie.mov", kMovie, test::Zip64Writer::Method::SparseZeros);
    }
    struct Case {
        const char* stage;
        std::uint64_t interruptAfterBytes;
    };
    // Extraction writes the movie once, then splitting writes it again as parts.
    const Case cases[] = {{"extraction", 16 * kMiB}, {"splitting", kMovie + 16 * kMiB}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stage);
        const std::string report = directory_.pathOf(std::string("interrupt-") + c.stage);
        test::ScopedEnvironment interrupt;
        interrupt.set("LD_PRELOAD", TOMELY_WRITE_FAULT_SHIM)
            .set("TOMELY_WRITE_FAULT_PREFIX", directory_.pathOf("cache/tomely-uploader/runs/"))
            .set("TOMELY_INTERRUPT_AFTER_BYTES", std::to_string(c.interruptAfterBytes))
            .set("TOMELY_INTERRUPT_REPORT", report);
        auto run = startPublish(book, {"--new", "Large", "--json"});
        interrupt.set("LD_PRELOAD", std::nullopt);
        EXPECT_EQ(run->wait(kDeadline), 130) << run->output();
        EXPECT_NE(run->output().find(R"("exit":130)"), std::string::npos) << run->output();
        EXPECT_EQ(runsLeft(), std::vector<std::string>{});
        // Going on to the end of the file would write the rest of the movie, over 360 MiB.
        std::ifstream written(report);
        std::uint64_t bytesAfterInterrupt = ~std::uint64_t{0};
        written >> bytesAfterInterrupt;
        EXPECT_LT(bytesAfterInterrupt, 128 * kMiB);
    }
    EXPECT_EQ(served("G-LARGE"), 0U);
}

// The cache fills up at one point of the chain after another (tests/common/WriteFaultShim.cpp): no
// run ends published, each says which file and why, and none leaves its directory behind.
TEST_F(PublishEndToEndTest, AFullDiskAtAnyPointOfTheChainEndsTheRunUnreadableNamingTheFile) {
    const std::string book = writeBook("full.iba", "G-FULL");  // 2,500,000 bytes of movie
    struct Case {
        const char* point;
        const char* prefix;  // below the caches directory
        const char* afterBytes;
        std::vector<std::string> says;
    };
    const Case cases[] = {
        {"extraction",
         "tomely-uploader/runs/",
         "1000000",
         {"cannot open " + book + ": failed to write file \"media/movie.mov\" from zip file: No space left on device"}},
        {"splitting",
         "tomely-uploader/runs/",
         "3700000",
         {"preparing the book failed: Could not write \"",
          "/working//media/movie.mov.part00001\": No space left on device"}},
        {"keeping the compressed parts",
         "tomely-uploader/runs/",
         "5500000",
         {"preparing the book failed: Could not write \"", "/deflated/", "\": No space left on device"}},
        {"the fingerprint memo",
         "tomely-uploader/fingerprints",
         "0",
         {"preparing the book failed: Could not write the fingerprint memo "
          "\"CACHE/tomely-uploader/fingerprints.sqlite\": "
          "No space left on device"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.point);
        test::TemporaryDirectory cache;
        test::ScopedEnvironment full;
        full.set("XDG_CACHE_HOME", cache.path())
            .set("LD_PRELOAD", TOMELY_WRITE_FAULT_SHIM)
            .set("TOMELY_WRITE_FAULT_PREFIX", cache.path() + "/" + c.prefix)
            .set("TOMELY_FULL_DISK_AFTER_BYTES", c.afterBytes);
        auto run = startPublish(book, {"--new", "Full"});
        full.set("LD_PRELOAD", std::nullopt);
        const int status = run->wait(kDeadline);
        const std::string output = run->output();
        EXPECT_EQ(status, 4) << output;
        for (std::string says : c.says) {
            if (const std::size_t at = says.find("CACHE"); at != std::string::npos) {
                says.replace(at, 5, cache.path());
            }
            EXPECT_NE(output.find(says), std::string::npos) << says << "\n" << output;
        }
        EXPECT_EQ(output.find("Published"), std::string::npos) << output;
        EXPECT_EQ(test::treeListing(cache.path() + "/tomely-uploader/runs"), std::vector<std::string>{});
    }
    EXPECT_TRUE(shelfBooks().empty());
    EXPECT_EQ(served("G-FULL"), 0U);
}

#endif

TEST_F(PublishEndToEndTest, ACappedRateSlowsTheUploadDown) {
    // 4 MiB that do not compress, at 1 MiB per second.
    const std::string book = writeBook("capped.iba", "G-CAPPED", 4 * 1024 * 1024);
    auto run = startPublish(book, {"--new", "Capped", "--json", "--limit-rate", "1M"});
    ASSERT_TRUE(run->waitForOutput(R"("stage":"comparing")", kDeadline)) << run->output();
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(run->wait(kDeadline), 0) << run->output();
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(3500));
    EXPECT_EQ(served("G-CAPPED"), 7U) << "index, chapter, and the movie's five parts";
}

TEST_F(PublishEndToEndTest, TwoRunsAtOnceOnDifferentBooksBothPublish) {
    auto first = startPublish(writeBook("one.iba", "G-ONE", 3'000'000, 1), {"--new", "One"});
    auto second = startPublish(writeBook("two.iba", "G-TWO", 3'000'000, 2), {"--new", "Two"});
    EXPECT_EQ(first->wait(kDeadline), 0) << first->output();
    EXPECT_EQ(second->wait(kDeadline), 0) << second->output();
    std::vector<std::string> titles;
    for (const auto& book : shelfBooks()) {
        titles.push_back(book.at("title"));
    }
    std::sort(titles.begin(), titles.end());
    EXPECT_EQ(titles, (std::vector<std::string>{"One", "Two"}));
    EXPECT_EQ(runsLeft(), std::vector<std::string>{});
}

// Run under tests/shelf/with-secret-service, on a keyring of its own.
using PublishKeychainTest = PublishEndToEndTest;

TEST_F(PublishKeychainTest, WithoutPasswordStdinThePasswordTheAppKeepsIsUsed) {
    if (const char* reason = std::getenv("TOMELY_NO_SECRET_SERVICE")) {
        GTEST_SKIP() << reason;
    }
    SecretServiceKeychain keychain;
    ASSERT_TRUE(keychain.storeGenericPassword(kKeychainServiceName, kEmail, kPassword));
    const std::string service = "http://127.0.0.1:" + std::to_string(service_->port());
    const std::string book = writeBook("kept.iba", "G");
    ShelfProcess run(TOMELY_PUBLISH_EXECUTABLE,
                     {"--email", kEmail, "--service", service, "--new", "Kept", "--dry-run", book}, std::string());
    EXPECT_EQ(run.wait(kDeadline), 0) << run.output();
    ShelfProcess stranger(TOMELY_PUBLISH_EXECUTABLE,
                          {"--email", "bob@example.com", "--service", service, "--new", "Kept", book}, std::string());
    EXPECT_EQ(stranger.wait(kDeadline), 2) << stranger.output();
    EXPECT_NE(stranger.output().find("no password kept for bob@example.com"), std::string::npos);
}

}  // namespace
}  // namespace tomely
