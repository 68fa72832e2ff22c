#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "app/ACFailure.h"
#include "app/ACMainViewController.h"
#include "common/FakeDesktop.h"
#include "common/FakeUploadViews.h"
#include "common/FakeWindow.h"
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
    const std::string url = server.url("/api/author/shelf/upload/manifest/B00K-GUID-1/");
    const struct {
        const char* name;
        Book book;
        std::size_t parts;
        int status;
    } cases[] = {
        {"500", {}, 1, 500},
        {"503", {}, 1, 503},
        {"400", {{"a.txt", "alpha"}}, 2, 400},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        openBook(c.book);
        const auto requests = run(ScriptedResponse::text(c.status, "no"), std::nullopt, "A Book");
        const Alert expected = ACFailure::httpFailureAlert(c.status, url);
        ASSERT_EQ(alerts.size(), 1U);
        EXPECT_EQ(alerts[0].messageText, expected.messageText);
        EXPECT_EQ(alerts[0].informativeText, expected.informativeText);
        EXPECT_FALSE(doneStepShown());
        EXPECT_FALSE(std::filesystem::exists(supportDirectory()));
        ASSERT_EQ(requests.size(), 1U) << "the manifest only";
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

    // The done step opens the shelf beside the wizard (its Close is the window test's).
    dynamic_cast<test::FakeUploadDoneView&>(container.contentViewController()->view()).button.click();
    EXPECT_EQ(desktop.workspace.openedURLs, std::vector<std::string>{server.url("/shelf/")});
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
    const Alert expected = ACFailure::httpUploadBookFailureAlert();
    for (const std::string kind : {"500", "drop", "stall"}) {
        SCOPED_TRACE(kind);
        HTTPRequest::setDefaultTimeOutSeconds(savedTimeOut_);
        startService({"--fault-after-parts", "1", "--fault-kind", kind});
        openBook(sampleBook(3));
        // A stalled answer ends through the time-out, which the test makes short for the uploads.
        HTTPRequest::setDefaultTimeOutSeconds(kind == "stall" ? 1 : savedTimeOut_);
        runUploadStep(std::nullopt, "Faulty");
        ASSERT_EQ(alerts.size(), 1U);
        EXPECT_EQ(alerts[0].messageText, expected.messageText);
        EXPECT_EQ(alerts[0].informativeText, expected.informativeText);
        EXPECT_FALSE(std::filesystem::exists(supportDirectory()));
        EXPECT_TRUE(uploadStep->hasFailed());
    }
}

TEST_F(UploadStepServiceTest, AnInterruptedUploadResumesWithOnlyThePartsNotAcknowledged) {
    startService({"--fault-after-parts", "3", "--fault-kind", "drop"});
    openBook(sampleBook(4));
    runUploadStep(std::nullopt, "Resumed");
    ASSERT_EQ(alerts.size(), 1U);

    startService();
    openBook(sampleBook(4));
    runUploadStep(std::nullopt, "Resumed");
    ASSERT_TRUE(doneStepShown());
    EXPECT_EQ(partsSent(), "(3/3)");
    EXPECT_EQ(shelfBook().second, withoutEmptyFiles(sampleBook(4)));
}

#else

TEST(UploadStepServiceTest, NeedsTheReferenceService) {
    GTEST_SKIP() << "tomely-shelf is not built in this preset (TOMELY_WITH_SERVICE is OFF)";
}

#endif

}  // namespace
}  // namespace tomely
