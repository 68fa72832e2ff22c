#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>

#include "app/ACMainViewController.h"
#include "common/FakeDesktop.h"
#include "common/FakeUploadViews.h"
#include "common/FakeWindow.h"
#include "common/ImmediateRetries.h"
#include "common/MainLoopFixture.h"
#include "common/ScopedEnvironment.h"
#include "common/ScriptedHTTPServer.h"
#include "common/TemporaryDirectory.h"
#include "common/ZipBuilder.h"
#include "http/HTTPCookieStorage.h"
#include "json/JSONDeserializer.h"
#include "platform/SystemLog.h"
#include "steps/ACUploadBookViewController.h"
#include "steps/ACUploadDoneViewController.h"
#include "steps/WizardOrder.h"

#ifdef TOMELY_SHELF_EXECUTABLE
#include <nlohmann/json.hpp>

#include "ShelfClient.h"
#include "ShelfProcess.h"
#include "http/HTTPRequest.h"
#endif

namespace tomely {
namespace {

using test::randomBytes;
using test::ScriptedResponse;

using Book = std::map<std::string, std::string>;

constexpr const char* kEmail = "ada@example.com";
constexpr const char* kPassword = "ada-secret";
// What a book's index.xml says: its GUID.
constexpr const char* kIndex = R"(<sl:textbook sl:GUID="B00K-GUID-1"><sl:title>T</sl:title></sl:textbook>)";

// Tells when the session has signed in and listed the shelf, until the upload step takes over.
struct OpeningObserver : SessionObserver {
    void signedIn() override { signedInSeen = true; }
    void booksListed(const BookListing& /*listing*/) override { listed = true; }
    bool signedInSeen = false;
    bool listed = false;
};

// The container with recording controls, a private application-support directory, a session that
// has opened a book, and the upload step installed as the prepare step installs it.
class UploadStepFixture : public test::MainLoopFixture {
protected:
    UploadStepFixture() {
        environment.set("XDG_DATA_HOME", dataHome.path());
        // Where the fingerprint memo is kept across the runs of one test.
        environment.set("XDG_CACHE_HOME", dataHome.pathOf("cache"));
        HTTPCookieStorage::sharedHTTPCookieStorage().deleteAllCookies();
        bundle.addView("ACUploadBookViewController", [] { return std::make_unique<test::FakeUploadBookView>(); });
        bundle.addView("ACUploadDoneViewController", [] { return std::make_unique<test::FakeUploadDoneView>(); });
    }
    ~UploadStepFixture() override { HTTPCookieStorage::sharedHTTPCookieStorage().deleteAllCookies(); }

    [[nodiscard]] std::string supportDirectory() const { return dataHome.path() + "/tomely-uploader"; }

    // Signs in and opens the book made of `files` (path in the book -> content, index.xml added
    // when it has none) through a new session, as the first two steps do; the Working directory
    // then holds those files.
    void openBook(Book files) {
        files.emplace("index.xml", kIndex);
        const std::string path = dataHome.pathOf("book.iba");
        {
            test::ZipBuilder zip(path);
            for (const auto& [name, content] : files) {
                zip.add(name, content);
            }
        }
        session = PublishSession::inApplicationSupport();
        const auto opening = std::make_shared<OpeningObserver>();
        session->setObserver(opening);
        session->signIn(kEmail, kPassword);
        ASSERT_TRUE(runUntil([&] { return opening->signedInSeen; }));
        session->openBook(path);
        ASSERT_TRUE(runUntil([&] { return opening->listed; }, std::chrono::seconds(60)));
    }

    // Opens a book through a new session as openBook() does, then leaves exactly `files` (path
    // below the Working directory -> content) in the Working directory, as if the book held only
    // them: what the upload step finds there is what these tests say.
    void openBookHolding(const Book& files) {
        openBook({});
        const std::string working = supportDirectory() + "/working/";
        std::filesystem::remove_all(working);
        std::filesystem::create_directories(working);
        for (const auto& [path, content] : files) {
            test::writeFile(working + path, content);
        }
    }

    // Installs the upload step and runs it to its end: the done step shown, or an alert raised
    // and the sync's files removed.
    void runUploadStep(std::optional<JSONValue> bookId, std::optional<std::string> bookName) {
        const std::size_t alertsBefore = desktop.alerts.shown.size();
        WizardOrder::installUploadStep(container, session, {std::move(bookId), std::move(bookName)});
        uploadStep = std::dynamic_pointer_cast<ACUploadBookViewController>(container.contentViewController());
        ASSERT_NE(uploadStep, nullptr);
        runUntil(
            [&] {
                return doneStepShown() ||
                       (desktop.alerts.shown.size() > alertsBefore && !std::filesystem::exists(supportDirectory()));
            },
            std::chrono::seconds(60));
        drainMainLoop();
        alerts.assign(desktop.alerts.shown.begin() + static_cast<std::ptrdiff_t>(alertsBefore),
                      desktop.alerts.shown.end());
    }

    [[nodiscard]] bool doneStepShown() const {
        return dynamic_cast<ACUploadDoneViewController*>(container.contentViewController().get()) != nullptr;
    }

    // The texts the progress line showed in the last run, in order.
    [[nodiscard]] std::vector<std::string> progressTexts() const {
        return dynamic_cast<test::FakeUploadBookView&>(uploadStep->view()).text.texts;
    }
    [[nodiscard]] std::vector<std::string> paceTexts() const {
        return dynamic_cast<test::FakeUploadBookView&>(uploadStep->view()).pace.texts;
    }

    test::TemporaryDirectory dataHome;
    test::ScopedEnvironment environment;
    test::FakeUploaderWindow window;
    test::FakeDesktop desktop;
    test::FakeViewBundle bundle;
    ACMainViewController container{window.containerControls(), desktop.desktop, bundle};
    std::shared_ptr<PublishSession> session;
    // Kept after the done step replaces it, so that its view can be read.
    std::shared_ptr<ACUploadBookViewController> uploadStep;
    // The alerts of the last run.
    std::vector<Alert> alerts;
};

// The upload step against a scripted service, which shows exactly what the step sends.
class UploadStepTest : public UploadStepFixture {
protected:
    UploadStepTest() {
        environment.set("TOMELY_SERVICE_URL", server.baseURL());
        // Signed in, with an empty shelf.
        server.setHandler([](const test::RecordedRequest&) { return ScriptedResponse::text(200, "[]"); });
    }

    // Runs the step on the book opened last, with the manifest answered by `manifestAnswer` and
    // every part stored; returns the requests of the run, the manifest first.
    std::vector<test::RecordedRequest> run(ScriptedResponse manifestAnswer, std::optional<JSONValue> bookId,
                                           std::optional<std::string> bookName) {
        server.setHandler([manifestAnswer](const test::RecordedRequest& request) {
            return request.target.starts_with("/api/author/shelf/upload/manifest/") ? manifestAnswer
                                                                                    : ScriptedResponse::text(200, "{}");
        });
        const auto before = static_cast<std::ptrdiff_t>(server.requestCount());
        runUploadStep(std::move(bookId), std::move(bookName));
        auto requests = server.requests();
        requests.erase(requests.begin(), requests.begin() + before);
        return requests;
    }

    static JSONDictionary manifestOf(const test::RecordedRequest& request) {
        return JSONDeserializer::deserializer().deserializeAsDictionary(request.body).value_or(JSONDictionary{});
    }

    test::ScriptedHTTPServer server;
};

TEST_F(UploadStepTest, AManifestFailureShowsItsAlertOnceAndLeavesNothingBehind) {
    const std::string failed = "Can not continue. \n" + server.url("/api/author/shelf/upload/manifest/B00K-GUID-1/");
    const struct {
        const char* name;
        Book book;
        std::size_t parts;
        ScriptedResponse answer;
        const char* messageText;
        std::string informativeText;
    } cases[] = {
        {"500",
         {{"index.xml", "<book/>"}},
         1,
         ScriptedResponse::text(500, "no"),
         "Server error",
         "There was a problem with a server at 127.0.0.1. Please try again later"},
        {"503",
         {{"index.xml", "<book/>"}},
         1,
         ScriptedResponse::text(503, "no"),
         "Server error",
         "The server at 127.0.0.1 was not reachable. Please try again later"},
        {"504",
         {{"index.xml", "<book/>"}},
         1,
         ScriptedResponse::text(504, "no"),
         "HTTP failure",
         "A HTTP call failed with status code 504. " + failed},
        // The connection closes without a word, however often the client tries.
        {"no answer",
         {{"index.xml", "<book/>"}},
         1,
         ScriptedResponse::rawBytes(""),
         "HTTP failure",
         "A HTTP call failed with status code 0. " + failed},
        // An empty Working directory posts its empty manifest instead of waiting for ever.
        {"empty Working directory",
         {},
         0,
         ScriptedResponse::text(400, "no"),
         "HTTP failure",
         "A HTTP call failed with status code 400. " + failed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        openBookHolding(c.book);
        const auto requests = run(c.answer, std::nullopt, "A Book");
        ASSERT_EQ(alerts.size(), 1U);
        EXPECT_EQ(alerts[0].messageText, c.messageText);
        EXPECT_EQ(alerts[0].informativeText, c.informativeText);
        EXPECT_FALSE(doneStepShown());
        EXPECT_FALSE(std::filesystem::exists(supportDirectory()));
        ASSERT_GE(requests.size(), 1U);
        for (const test::RecordedRequest& request : requests) {
            EXPECT_EQ(request.target, "/api/author/shelf/upload/manifest/B00K-GUID-1/") << "the manifest only";
        }
        EXPECT_EQ(manifestOf(requests[0]).at("hashes").asDictionary()->size(), c.parts);
    }
}

TEST_F(UploadStepTest, ARepeatedNameIsSentOnceTheBookIsNamedAsGivenAndTheDoneStepFollows) {
    const struct {
        const char* name;
        std::optional<JSONValue> bookId;
        std::optional<std::string> bookName;
    } cases[] = {{"new book", std::nullopt, "A New Book"}, {"replaced book", JSONValue(42), std::nullopt}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        openBook({{"a.txt", "alpha"}});
        test::writeFile(supportDirectory() + "/secret", "SECRET");
        SystemLog::Capture log;
        // A name asked twice is sent once.
        const auto requests =
            run(ScriptedResponse::text(200, R"(["\/a.txt.part00000","\/a.txt.part00000"])"), c.bookId, c.bookName);
        ASSERT_TRUE(doneStepShown());
        EXPECT_TRUE(alerts.empty());
        EXPECT_EQ(log.lines(), std::vector<std::string>{"Not uploading \"/a.txt.part00000\" twice"});
        ASSERT_EQ(requests.size(), 2U) << "the manifest and one part";
        const JSONDictionary manifest = manifestOf(requests[0]);
        EXPECT_EQ(manifest.at("hashes").asDictionary()->size(), 2U) << "index.xml and a.txt";
        EXPECT_EQ(manifest.contains("bookName"), c.bookName.has_value());
        EXPECT_EQ(manifest.contains("bookId") ? manifest.at("bookId").description() : "", c.bookId ? "42" : "");
        const std::string& part = requests[1].body;
        EXPECT_EQ(part.find("SECRET"), std::string::npos);
        EXPECT_EQ(part.find("name=\"bookName\"\r\n\r\nA New Book\r\n") != std::string::npos, c.bookName.has_value());
        EXPECT_EQ(part.find("name=\"bookId\"\r\n\r\n42\r\n") != std::string::npos, c.bookId.has_value());
    }
}

// What the author reads while a book is published, in order: the progress line (its upload
// percentages but for the last left out, as they depend on timing), the working indicator, and the
// chrome of the done step; and what the service receives.
TEST_F(UploadStepTest, EachStageOfASyncShowsItsOwnWordsAndTheDoneStepEndsIt) {
    const std::vector<std::string> prepared = {
        "Checking the book is okay (1/1)", "Looking for changes in your book (1/1)", "Starting book synchronization"};
    const struct {
        const char* name;
        std::map<std::string, std::string> book;
        const char* manifestAnswer;
        std::vector<std::string> keys;  // of the manifest, as they go over the wire
        std::vector<std::string> progressLines;
        std::vector<std::string> workingTexts;
        const char* receipt;  // on the done page
    } cases[] = {
        {"the shelf holds everything",
         {{"a.txt", "alpha"}},
         "[]",
         {R"("\/a.txt.part00000")"},
         prepared,
         {"", "Processing", "Processing", "Uploading", ""},
         R"(Created "A Book": 0 of 1 parts sent, 0.0 MB.)"},
        {"one part to send",
         {{"a.txt", "alpha"}},
         R"(["\/a.txt.part00000"])",
         {R"("\/a.txt.part00000")"},
         {"Checking the book is okay (1/1)", "Looking for changes in your book (1/1)", "Starting book synchronization",
          "Compressing your book before sending", "Compressing your book before sending (1/1)",
          "Uploading book 100.00% (0.0 MB of about 0.0 MB)"},
         {"", "Processing", "Processing", "Uploading", "Uploading", "Uploading", ""},
         R"(Created "A Book": 1 of 1 parts sent, 0.0 MB.)"},
        // Three parts of 1,024,000, 1,024,000 and 452,000 bytes; about 2.5 decimal megabytes go out,
        // which would be 2.4 binary ones.
        {"a file of 2,500,000 bytes",
         {{"big.bin", randomBytes(2'500'000, 7)}},
         R"(["\/big.bin.part00000","\/big.bin.part00001","\/big.bin.part00002"])",
         {R"("\/big.bin.part00000")", R"("\/big.bin.part00001")", R"("\/big.bin.part00002")"},
         {"Checking the book is okay (1/1)", "Looking for changes in your book (1/3)",
          "Looking for changes in your book (2/3)", "Looking for changes in your book (3/3)",
          "Starting book synchronization", "Compressing your book before sending",
          "Compressing your book before sending (1/3)", "Compressing your book before sending (2/3)",
          "Compressing your book before sending (3/3)", "Uploading book 100.00% (2.5 MB of about 2.5 MB)"},
         {"", "Processing", "Processing", "Uploading", "Uploading", "Uploading", ""},
         R"(Created "A Book": 3 of 3 parts sent, 2.5 MB.)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        openBookHolding(c.book);
        window.workingText.texts.clear();
        const auto requests = run(ScriptedResponse::text(200, c.manifestAnswer), std::nullopt, "A Book");
        ASSERT_TRUE(doneStepShown());
        EXPECT_TRUE(alerts.empty());
        std::vector<std::string> lines;
        const std::vector<std::string> texts = progressTexts();
        for (std::size_t i = 0; i < texts.size(); ++i) {
            if (!texts[i].starts_with("Uploading book ") || i + 1 == texts.size()) {
                lines.push_back(texts[i]);
            }
        }
        EXPECT_EQ(lines, c.progressLines);
        EXPECT_EQ(window.workingText.texts, c.workingTexts);
        // Under the progress line while parts go out: the rate, then the time left once known.
        const std::vector<std::string> paces = paceTexts();
        for (const std::string& pace : paces) {
            EXPECT_TRUE(std::regex_match(pace, std::regex(R"(([0-9]+\.[0-9] MB/s(, [0-9]+:[0-9]{2} left)?)?)")))
                << pace;
        }
        if (c.progressLines.back().starts_with("Uploading book 100.00% (2.5")) {
            EXPECT_TRUE(std::any_of(paces.begin(), paces.end(), [](const std::string& pace) { return !pace.empty(); }));
        }
        EXPECT_EQ(dynamic_cast<test::FakeUploadDoneView&>(container.contentViewController()->view()).receipt.text(),
                  c.receipt);
        EXPECT_EQ(test::chromeOf(window),
                  test::Chrome::atStep(0).withContinue(true, true, "Close").withCancelShown(false));

        const std::string& manifest = requests.at(0).body;
        for (const std::string& key : c.keys) {
            EXPECT_NE(manifest.find(key + ":"), std::string::npos) << key << " in " << manifest;
        }
        EXPECT_EQ(manifestOf(requests[0]).at("hashes").asDictionary()->size(), c.keys.size());
        // One post per part asked for, each knowing its place in the batch. Parts go several at once
        // and arrive in any order, but the last of the batch arrives last.
        ASSERT_EQ(requests.size(), 1 + (c.progressLines.back().starts_with("Uploading") ? c.keys.size() : 0));
        const auto field = [](const std::string& body, const std::string& name) {
            const std::string head = "name=\"" + name + "\"\r\n\r\n";
            const std::size_t start = body.find(head);
            return start == std::string::npos
                       ? std::string("none")
                       : body.substr(start + head.size(), body.find("\r\n", start + head.size()) - start - head.size());
        };
        std::vector<std::string> sent;
        std::vector<std::string> asked;
        for (std::size_t part = 1; part < requests.size(); ++part) {
            const std::string& body = requests[part].body;
            EXPECT_EQ(field(body, "batchTotal"), std::to_string(c.keys.size() - 1));
            sent.push_back(field(body, "name") + " " + field(body, "batchCurrent"));
            const std::string& key = c.keys[part - 1];
            asked.push_back("/" + key.substr(3, key.size() - 4) + " " + std::to_string(part - 1));
        }
        if (!sent.empty()) {
            EXPECT_EQ(sent.back(), asked.back());
        }
        std::ranges::sort(sent);
        EXPECT_EQ(sent, asked);
    }
    // Close ends the application; the shelf button opens the shelf and leaves the window as it is.
    dynamic_cast<test::FakeUploadDoneView&>(container.contentViewController()->view()).button.click();
    EXPECT_EQ(desktop.workspace.openedURLs, std::vector<std::string>{server.url("/shelf/")});
    EXPECT_EQ(desktop.application.terminateCount, 0);
    window.continueButton.click();
    EXPECT_EQ(desktop.application.terminateCount, 1);
}

// Sending the offered names of such an answer and calling the book published would claim what the
// service may not hold.
TEST_F(UploadStepTest, AnAnswerThatIsNotAListOfOfferedNamesShowsTheHTTPFailureAlertWithItsStatus) {
    for (const char* answer : {R"(["\/a.txt.part00000","\/..\/secret"])", R"(["\/a.txt.part00000",7])", "no JSON"}) {
        SCOPED_TRACE(answer);
        openBook({{"a.txt", "alpha"}});
        test::writeFile(supportDirectory() + "/secret", "SECRET");
        const auto requests = run(ScriptedResponse::text(200, answer), std::nullopt, "A Book");
        ASSERT_EQ(alerts.size(), 1U);
        EXPECT_EQ(alerts[0].style, Alert::Style::Critical);
        EXPECT_EQ(alerts[0].messageText, "HTTP failure");
        EXPECT_EQ(alerts[0].informativeText, "A HTTP call failed with status code 200. Can not continue. \n" +
                                                 server.url("/api/author/shelf/upload/manifest/B00K-GUID-1/"));
        EXPECT_FALSE(doneStepShown());
        EXPECT_EQ(requests.size(), 1U) << "the manifest only";
        EXPECT_FALSE(std::filesystem::exists(supportDirectory()));
    }
}

// The upload alert blames the connection, which is wrong for a full disk.
TEST_F(UploadStepTest, AFileThatCannotBeWrittenShowsThePreparationAlertNamingItAndNoDoneStep) {
    openBook({{"movie.mov", randomBytes(2'500'000, 5)}});
    // No part can be renamed onto a directory.
    std::filesystem::create_directories(supportDirectory() + "/working/movie.mov.part00001");
    const auto requests = run(ScriptedResponse::text(200, "[]"), std::nullopt, "A Book");
    ASSERT_EQ(alerts.size(), 1U);
    EXPECT_EQ(alerts[0].style, Alert::Style::Critical);
    EXPECT_EQ(alerts[0].messageText, "Preparing the book failed");
    EXPECT_EQ(alerts[0].informativeText, "Could not write \"" + supportDirectory() +
                                             "/working//movie.mov.part00001\": Is a directory. Can not continue.");
    EXPECT_FALSE(doneStepShown());
    EXPECT_TRUE(uploadStep->hasFailed());
    EXPECT_TRUE(requests.empty()) << "no manifest";
    EXPECT_FALSE(std::filesystem::exists(supportDirectory()));
}

// "Are you sure?" stays the only thing that changes the window while it is up: a part that fails
// meanwhile raises its alert only after "No", and a sync that ends meanwhile shows the done step
// only then.
TEST_F(UploadStepTest, WhileTheCancelConfirmationIsUpTheUploadChangesNothingAndAfterNoItGoesOn) {
    const auto held = [](ScriptedResponse response) {
        response.holdUntilReleased = true;
        return response;
    };
    const struct {
        const char* name;
        ScriptedResponse manifestAnswer;
        ScriptedResponse partAnswer;
        const char* cancelOnceShown;  // the progress line at which the author presses Cancel
        bool failsAfterNo;
    } cases[] = {
        {"a part fails", ScriptedResponse::text(200, R"(["\/a.txt.part00000"])"),
         held(ScriptedResponse::text(500, "no")), "Uploading book 100.00%", true},
        {"the sync would finish", held(ScriptedResponse::text(200, "[]")), ScriptedResponse::text(200, "{}"),
         "Starting book synchronization", false},
    };
    // The failure first: the done step hides Cancel for good.
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::ScriptedHTTPServer service;
        environment.set("TOMELY_SERVICE_URL", service.baseURL());
        // Signed in, with an empty shelf, until the upload.
        service.setHandler([&](const test::RecordedRequest& request) {
            if (request.target.starts_with("/api/author/shelf/upload/manifest/")) {
                return c.manifestAnswer;
            }
            return request.target.starts_with("/api/author/shelf/upload/B00K-GUID-1/")
                       ? c.partAnswer
                       : ScriptedResponse::text(200, "[]");
        });
        openBookHolding({{"a.txt", "alpha"}});
        desktop.alerts.shown.clear();
        WizardOrder::installUploadStep(container, session, {std::nullopt, "A Book"});
        uploadStep = std::dynamic_pointer_cast<ACUploadBookViewController>(container.contentViewController());
        ASSERT_NE(uploadStep, nullptr);
        ASSERT_TRUE(runUntil([&] {
            const auto texts = progressTexts();
            return !texts.empty() && texts.back().starts_with(c.cancelOnceShown);
        }));
        drainMainLoop();
        const test::Chrome uploading = test::chromeOf(window);
        EXPECT_EQ(uploading, test::Chrome::atStep(4).withWorking("Uploading").withContinue(true, false));
        desktop.alerts.onAlert = [&](const Alert& alert) {
            if (alert.messageText != "Are you sure?") {
                return;
            }
            service.releaseHeldAnswers();
            // The answer's report arrives and waits; without the wait it would act at once.
            runUntil([&] { return loop().heldTaskCount() > 0 || desktop.alerts.shown.size() > 1 || doneStepShown(); });
            // And whatever came with it: a marker posted now is held behind it.
            const std::size_t heldTasks = loop().heldTaskCount();
            MainLoop::shared()->post([] {});
            runUntil([&] { return loop().heldTaskCount() > heldTasks; });
            EXPECT_EQ(desktop.alerts.shown.size(), 1U) << "no second alert over the first";
            EXPECT_FALSE(doneStepShown());
            EXPECT_EQ(test::chromeOf(window), uploading);
            EXPECT_TRUE(std::filesystem::exists(supportDirectory())) << "the sync has not ended";
        };
        desktop.alerts.answers = {0};  // "No"
        window.cancelButton.click();
        desktop.alerts.onAlert = nullptr;
        EXPECT_TRUE(runUntil([&] {
            return !std::filesystem::exists(supportDirectory()) && (doneStepShown() || desktop.alerts.shown.size() > 1);
        }));
        drainMainLoop();
        EXPECT_EQ(doneStepShown(), !c.failsAfterNo);
        ASSERT_EQ(desktop.alerts.shown.size(), c.failsAfterNo ? 2U : 1U);
        if (c.failsAfterNo) {
            EXPECT_EQ(desktop.alerts.shown[1].messageText, "HTTP failure");
        }
    }
}

#ifdef TOMELY_SHELF_EXECUTABLE

// Six part files: a picture of three parts, and one part each for the others; the empty file has
// none and so is not part of the book on the shelf.
Book sampleBook(unsigned seed) {
    return {{"index.xml", kIndex},
            {"OEBPS/images/cover photo.png", randomBytes(2'500'000, seed)},
            {"OEBPS/Chapters/Été à Paris.xhtml", "<p>Un été à Paris</p>"},
            {".hidden/.settings", "hidden"},
            {"OEBPS/empty.txt", ""}};
}

Book withoutEmptyFiles(Book book) {
    std::erase_if(book, [](const auto& file) { return file.second.empty(); });
    return book;
}

// The upload step against tomely-shelf, started on a port of its own with a fresh data
// directory; the book it rebuilds is read back through an independent client.
class UploadStepServiceTest : public UploadStepFixture {
protected:
    ~UploadStepServiceTest() override { HTTPRequest::setDefaultTimeOutSeconds(savedTimeOut_); }

    // (Re)starts the service on the same data, with `options` added.
    void startService(std::vector<std::string> options = {}) {
        service_.reset();
        std::vector<std::string> arguments = {"--listen", "127.0.0.1:0", "--data", serviceData_.path()};
        arguments.insert(arguments.end(), options.begin(), options.end());
        service_ = std::make_unique<shelf::client::ShelfProcess>(
            TOMELY_SHELF_EXECUTABLE, arguments, shelf::client::ShelfProcess::Users{{kEmail, kPassword}});
        environment.set("TOMELY_SERVICE_URL", "http://127.0.0.1:" + std::to_string(service_->port()));
    }

    // The author's one book: its id, and the files of its latest version as the service rebuilt it.
    std::pair<std::int64_t, Book> shelfBook() {
        shelf::client::ShelfClient client("127.0.0.1", service_->port());
        client.signIn(kEmail, kPassword);
        const auto books = nlohmann::json::parse(client.list().body);
        EXPECT_EQ(books.size(), 1U);
        // Versions come newest first.
        const auto& latest = books.at(0).at("downloads").at(0);
        auto files = shelf::client::unzipAll(client.get(latest.at("url").get<std::string>()).body);
        return {books.at(0).at("book_id").get<std::int64_t>(), files.value_or(Book{})};
    }

    // How many part files the last run sent, as its last compression count tells.
    [[nodiscard]] std::string partsSent() const {
        const auto texts = progressTexts();
        const auto last = std::ranges::find_if(texts.rbegin(), texts.rend(), [](const std::string& text) {
            return text.starts_with("Compressing your book before sending (");
        });
        return last == texts.rend() ? "none" : last->substr(last->find('('));
    }

    test::TemporaryDirectory serviceData_;
    std::unique_ptr<shelf::client::ShelfProcess> service_;
    const double savedTimeOut_ = HTTPRequest::defaultTimeOutSeconds();
};

TEST_F(UploadStepServiceTest, TheShelfRebuildsTheBookAndLaterRunsSendOnlyWhatChanged) {
    startService();
    openBook(sampleBook(1));
    runUploadStep(std::nullopt, "Sample Book");
    ASSERT_TRUE(doneStepShown());
    EXPECT_EQ(partsSent(), "(6/6)");
    EXPECT_FALSE(std::filesystem::exists(supportDirectory()));
    const auto [bookId, rebuilt] = shelfBook();
    EXPECT_EQ(rebuilt, withoutEmptyFiles(sampleBook(1)));

    Book changed = sampleBook(1);
    changed["OEBPS/images/cover photo.png"] = randomBytes(2'500'000, 2);
    openBook(changed);
    runUploadStep(JSONValue(bookId), std::nullopt);
    ASSERT_TRUE(doneStepShown());
    EXPECT_EQ(partsSent(), "(3/3)") << "the three parts of the changed picture";
    EXPECT_EQ(shelfBook().second, withoutEmptyFiles(changed));
}

TEST_F(UploadStepServiceTest, AFailingUploadGivesOneAlertNoDoneStepAndNoFilesLeft) {
    for (const std::string kind : {"500", "drop", "stall"}) {
        SCOPED_TRACE(kind);
        HTTPRequest::setDefaultTimeOutSeconds(savedTimeOut_);
        startService({"--fault-after-parts", "1", "--fault-kind", kind});
        openBook(sampleBook(3));
        // A stalled answer ends through the time-out, which the test makes short for the uploads.
        HTTPRequest::setDefaultTimeOutSeconds(kind == "stall" ? 1 : savedTimeOut_);
        runUploadStep(std::nullopt, "Faulty");
        ASSERT_EQ(alerts.size(), 1U);
        EXPECT_EQ(alerts[0].messageText, "HTTP failure");
        EXPECT_EQ(alerts[0].informativeText,
                  "There was a problem uploading your book. This sometimes happens when you disconnect from the "
                  "internet briefly. Please try again.");
        EXPECT_FALSE(std::filesystem::exists(supportDirectory()));
        EXPECT_TRUE(uploadStep->hasFailed());
    }
}

// One part at a time, and waits that pass at once: a 503 for the second part only is ridden out,
// a 503 for every part after the first spends the retries, and then the alert comes. Each wait is
// told below the progress line (blank lines between them, once a wait is over, left out).
TEST_F(UploadStepServiceTest, EachWaitToTryAgainIsToldBelowTheProgressLineUntilTheRetriesAreSpent) {
    struct Case {
        const char* name;
        std::vector<std::string> faults;
        bool published;
        std::vector<std::string> retryLines;
        // Of the book: each case sends a book the shelf does not hold yet.
        int seed;
    };
    const Case cases[] = {
        {"one 503",
         {"--fault-after-parts", "1", "--fault-kind", "503", "--fault-count", "1"},
         true,
         {"Connection lost, trying again in 1 s (attempt 2 of 3)"},
         3},
        {"503s to the end",
         {"--fault-after-parts", "1", "--fault-kind", "503"},
         false,
         {"Connection lost, trying again in 1 s (attempt 2 of 3)",
          "Connection lost, trying again in 2 s (attempt 3 of 3)"},
         5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        startService(c.faults);
        openBook(sampleBook(c.seed));
        session->setRetryPolicy(test::immediateRetries(2));
        session->setPartsInFlight(1);
        runUploadStep(std::nullopt, "Retried");
        std::vector<std::string> lines;
        for (const std::string& line : dynamic_cast<test::FakeUploadBookView&>(uploadStep->view()).retryText.texts) {
            if (!line.empty()) {
                lines.push_back(line);
            }
        }
        EXPECT_EQ(lines, c.retryLines);
        EXPECT_EQ(doneStepShown(), c.published);
        ASSERT_EQ(alerts.size(), c.published ? 0U : 1U);
        if (!c.published) {
            EXPECT_EQ(alerts[0].messageText, "HTTP failure");
        }
    }
}

// Parts go several at once, so how many the shelf kept before the drop varies from run to run;
// the second run sends exactly the others.
TEST_F(UploadStepServiceTest, AnInterruptedUploadResumesWithOnlyThePartsNotAcknowledged) {
    startService({"--fault-after-parts", "3", "--fault-kind", "drop"});
    openBook(sampleBook(4));
    runUploadStep(std::nullopt, "Resumed");
    ASSERT_EQ(alerts.size(), 1U);
    ASSERT_EQ(partsSent(), "(6/6)");

    startService();
    std::size_t held = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(serviceData_.pathOf("parts"))) {
        held += entry.is_regular_file() ? 1 : 0;
    }
    ASSERT_GE(held, 1U);
    ASSERT_LT(held, 6U);
    openBook(sampleBook(4));
    runUploadStep(std::nullopt, "Resumed");
    ASSERT_TRUE(doneStepShown());
    const std::string rest = std::to_string(6 - held);
    EXPECT_EQ(partsSent(), "(" + rest + "/" + rest + ")");
    EXPECT_EQ(shelfBook().second, withoutEmptyFiles(sampleBook(4)));
}

#else

TEST(UploadStepServiceTest, NeedsTheReferenceService) {
    GTEST_SKIP() << "tomely-shelf is not built in this preset (TOMELY_WITH_SERVICE is OFF)";
}

#endif

}  // namespace
}  // namespace tomely
