#include "PagedWindow.h"

#include <QApplication>
#include <QLayout>
#include <QTest>

#include "WizardDriver.h"
#include "steps/AuthView.h"
#include "steps/LocateBookView.h"
#include "steps/PrepareBookView.h"
#include "steps/UploadBookView.h"
#include "steps/UploadDoneView.h"
#include "ui/QtMainLoop.h"
#include "ui/UploaderWindow.h"

namespace tomely::ui {
namespace {

class Books final : public TableDataSource {
public:
    [[nodiscard]] int numberOfRows() const override { return 3; }
    [[nodiscard]] std::string objectValue(int /*column*/, int row) const override {
        const char* const titles[] = {"Walk Through", "A Much Longer Title for a Book About Walking Through Tomely",
                                      "Third"};
        return titles[row];
    }
    [[nodiscard]] bool isRowEnabled(int /*row*/) const override { return true; }
};

// Alerts wait on the main loop, as in the application.
void installMainLoopOnce() {
    if (!MainLoop::installed()) {
        MainLoop::install(std::make_shared<QtMainLoop>());
    }
}

void showAll(std::initializer_list<Control*> controls) {
    for (Control* control : controls) {
        control->setHidden(false);
    }
}

}  // namespace

const std::vector<std::string> PagedWindow::kPages = {"ACAuthViewController", "ACLocateBookViewController",
                                                      "ACPrepareBookViewController", "ACUploadBookViewController",
                                                      "ACUploadDoneViewController"};

PagedWindow::PagedWindow()
    : windowView_(bundle.loadWindow("ACUploaderWindow")),
      container_(std::make_unique<ACMainViewController>(windowView_->containerControls(), desktop.desktop, bundle)),
      books_(std::make_unique<Books>()) {
    installMainLoopOnce();
}

PagedWindow::~PagedWindow() {
    container_->setContent(nullptr);
}

QWidget* PagedWindow::window() const {
    return dynamic_cast<UploaderWindow&>(*windowView_).widget();
}

bool PagedWindow::show(const std::string& name) {
    std::unique_ptr<View> page = bundle.loadView(name);
    container_->setContent(page.get());
    page_ = std::move(page);
    ACMainViewController& container = *container_;
    container.setWorkingInfo("Fetching your books from tomely.com");
    if (auto* auth = dynamic_cast<AuthView*>(page_.get())) {
        container.stepOne();
        auth->emailField().setText("ann@example.com");
        showAll({&auth->emailFieldError(), &auth->passwordFieldError(), &auth->incorrectCredentialsError(),
                 &auth->progressBar()});
    } else if (auto* locate = dynamic_cast<LocateBookView*>(page_.get())) {
        container.stepTwo();
        locate->filePathText().setText("walk-through-tomely-the-whole-book-with-every-chapter-in-it.iba");
        showAll({&locate->bookFieldError(), &locate->progressBar()});
    } else if (auto* prepare = dynamic_cast<PrepareBookView*>(page_.get())) {
        container.stepThree();
        prepare->existingBooksTable().setDataSource(books_.get());
        prepare->existingBooksTable().reloadData();
        prepare->existingBooksTable().selectRow(1);
        prepare->generateBookField().setText("A Walk Through Tomely");
        prepare->continueChoiceText().setText(
            R"(Continue will publish a new book titled "A Walk Through Tomely"; the selected book stays as it is.)");
        // The longer of the two error labels; Continue never shows both.
        showAll({&prepare->errorField2()});
    } else if (auto* upload = dynamic_cast<UploadBookView*>(page_.get())) {
        container.stepFour();
        container.setWorkingInfo("Uploading");
        upload->progressBar().setIndeterminate(false);
        upload->progressBar().setValue(0.5);
        upload->progressTextField().setText("Uploading book 50.00% (3.0 MB of about 6.0 MB)");
        upload->paceTextField().setText("2.5 MB/s, 0:02 left");
    } else {
        dynamic_cast<UploadDoneView&>(*page_).receiptField().setText(
            R"(Replaced "A Much Longer Title for a Book About Walking Through Tomely": 4 of 9 parts sent, 2.5 MB.)");
        container.stepFive();
        container.setWorkingInfo(std::nullopt);
        container.setCancelButtonHidden(true);
        container.setContinueButtonText("Close");
    }
    container.setContinueBlock([](Button*) {});
    windowView_->show();
    const bool exposed = QTest::qWaitForWindowExposed(window());
    // Laid out for the page and its texts: the window takes its new minimum on the next round.
    QApplication::processEvents();
    window()->layout()->activate();
    QApplication::processEvents();
    // A window the app has just moved (to keep it on the screen) is somewhere else for the window
    // system until it has carried out the move.
    const bool settled = WizardDriver::waitUntil(
        [this] { return window()->mapToGlobal(QPoint(0, 0)) == window()->geometry().topLeft(); },
        std::chrono::seconds(10));
    return exposed && settled;
}

}  // namespace tomely::ui
