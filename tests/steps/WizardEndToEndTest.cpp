// The whole wizard, headless, against the reference service started by the test: launch, sign in,
// open the book, name a new book, upload, done; then a second run that finds the book
// pre-selected, replaces it and sends nothing.
#ifdef TOMELY_SHELF_EXECUTABLE

#include <gtest/gtest.h>

#include <regex>

#include "ShelfClient.h"
#include "ShelfProcess.h"
#include "WizardFixture.h"
#include "common/ZipBuilder.h"
#include "steps/ACLocateBookViewController.h"
#include "steps/ACPrepareBookViewController.h"
#include "steps/ACUploadDoneViewController.h"

namespace tomely {
namespace {

constexpr const char* kEmail = "ann@example.com";
constexpr const char* kPassword = "ann-secret";
constexpr const char* kGuid = "8D3B41A6-6E0A-4C55-9E1C-0F4E9A1B2C3D";

class WizardEndToEndTest : public test::WizardFixture {
protected:
    WizardEndToEndTest()
        : service_(TOMELY_SHELF_EXECUTABLE, {"--listen", "127.0.0.1:0", "--data", serviceData_.path()},
                   {{kEmail, kPassword}}) {
        book_ = directory.pathOf("book.iba");
        // A movie-sized file of three different parts beside the small ones.
        test::ZipBuilder(book_)
            .add("index.xml", std::string(R"(<?xml version="1.0"?>)") + "\n<sl:textbook sl:GUID=\"" + kGuid +
                                  "\"><sl:title>Walk</sl:title></sl:textbook>\n")
            .add("chapters/one.xhtml", "<html><p>One</p></html>")
            .add("media/movie.mov", test::randomBytes(2'500'000, 13));
    }

    // Runs the wizard from launch to the done step. The form is typed in unless the stores
    // remember the author; `prepare` makes the choice in step three.
    void runWizard(bool remembered, const std::function<void()>& prepare) {
        launch("http://127.0.0.1:" + std::to_string(service_.port()), book_);
        if (remembered) {
            ASSERT_TRUE(runUntil([this] { return authView().password.text() == kPassword; }));
            EXPECT_EQ(authView().email.text(), kEmail);
        } else {
            authView().email.setText(kEmail);
            authView().password.setText(kPassword);
        }
        pressContinue();
        ASSERT_TRUE(waitForStep<ACLocateBookViewController>());
        pressContinue();
        ASSERT_TRUE(waitForStep<ACPrepareBookViewController>());
        prepare();
        pressContinue();
        ASSERT_TRUE(waitForStep<ACUploadDoneViewController>()) << "alerts: " << desktop.alerts.shown.size();
        EXPECT_TRUE(desktop.alerts.shown.empty());
    }

    // The part uploads the service has answered so far.
    [[nodiscard]] std::size_t partUploads() const {
        const std::string log = service_.output();
        const std::regex upload("POST /api/author/shelf/upload/" + std::string(kGuid) + "/ 200");
        return static_cast<std::size_t>(
            std::distance(std::sregex_iterator(log.begin(), log.end(), upload), std::sregex_iterator()));
    }

    test::TemporaryDirectory serviceData_;
    shelf::client::ShelfProcess service_;
    std::string book_;
};

TEST_F(WizardEndToEndTest, ANewBookIsPublishedAndASecondRunReplacesItSendingNothing) {
    runWizard(false, [this] { prepareView().name.setText("Walk Through"); });
    // The service logs a request once it has answered it, so the last line may follow the done step.
    runUntil([this] { return partUploads() >= 5; });
    const std::size_t firstUploads = partUploads();
    EXPECT_EQ(firstUploads, 5U) << "index, chapter, and the movie's three parts";

    // The second run: the stores remember the author, the book is on the shelf with its GUID.
    runWizard(true, [this] {
        EXPECT_EQ(prepareView().table.rows(), std::vector<std::string>{"Walk Through"});
        EXPECT_EQ(prepareView().table.selectedRow(), 0);
    });

    shelf::client::ShelfClient client("127.0.0.1", service_.port());
    ASSERT_EQ(client.signIn(kEmail, kPassword).status, 200);
    const shelf::client::Reply list = client.list();
    EXPECT_EQ(partUploads(), firstUploads) << "the service held every part already";
    EXPECT_NE(list.body.find(R"("title":"Walk Through")"), std::string::npos) << list.body;
    EXPECT_EQ(list.body.find(R"("title":"Walk Through")"), list.body.rfind(R"("title":"Walk Through")"))
        << "replaced, not published twice: " << list.body;
}

}  // namespace
}  // namespace tomely

#endif
