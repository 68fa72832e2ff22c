#include "steps/ACLocateBookViewController.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>

#include "app/ACFailure.h"
#include "http/ServiceURL.h"
#include "platform/MainLoop.h"
#include "platform/SerialQueue.h"
#include "shelf/BookPackage.h"
#include "shelf/ExistingBook.h"
#include "shelf/ShelfClient.h"
#include "steps/ACPrepareBookViewController.h"
#include "support/WorkArea.h"

namespace tomely {
namespace {

std::string lowercased(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string lastPathComponent(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A file, or anything else a file path can name that is not a directory.
bool fileExists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

}  // namespace

ACLocateBookViewController::ACLocateBookViewController(std::unique_ptr<View> view,
                                                       ACMainViewController& mainViewController,
                                                       std::optional<std::string> proposedBookPath)
    : ACStepViewController(std::move(view), mainViewController), proposedBookPath_(std::move(proposedBookPath)) {}

std::shared_ptr<ACLocateBookViewController> ACLocateBookViewController::self() {
    return std::static_pointer_cast<ACLocateBookViewController>(shared_from_this());
}

void ACLocateBookViewController::addToMainViewController() {
    ACStepViewController::addToMainViewController();
    // Proposed once, when the view is first shown, before the step's own set-up.
    autolocateBook();
    controls().findBookButton().setAction([this] { findBookPressed(); });
    mainViewController().stepTwo();
    mainViewController().setWorkingInfo(std::nullopt);
    bindContinueBlock();
}

void ACLocateBookViewController::bindContinueBlock() {
    mainViewController().setContinueBlock([this](Button*) { continuePressed(); });
}

void ACLocateBookViewController::autolocateBook() {
    if (proposedBookPath_) {
        showBook(*proposedBookPath_);
        return;
    }
    Workspace& workspace = mainViewController().desktop().workspace;
    const std::vector<RunningApplication> running = workspace.runningApplications();
    const bool authoringAppRuns = std::any_of(running.begin(), running.end(), [](const RunningApplication& app) {
        return app.bundleIdentifier && lowercased(*app.bundleIdentifier) == kBookAuthoringApplication;
    });
    // Only a running application is asked, so this step never launches one.
    if (!authoringAppRuns) {
        return;
    }
    const std::optional<std::vector<OpenDocument>> documents =
        workspace.openDocumentsOfApplication(kBookAuthoringApplication);
    if (!documents) {
        return;
    }
    // Every saved document is shown in turn, so the last one stays chosen.
    for (const OpenDocument& document : *documents) {
        if (document.path) {
            showBook(*document.path);
        }
    }
}

void ACLocateBookViewController::findBookPressed() {
    if (std::optional<std::string> path = mainViewController().desktop().openPanel.runModal({"iba"})) {
        showBook(*path);
    }
}

void ACLocateBookViewController::showBook(const std::string& path) {
    bookPath_ = path;
    filePathText().setText(lastPathComponent(path));
    controls().iconImage().showIconForFile(path);
}

void ACLocateBookViewController::continuePressed() {
    bookFieldError().setHidden(true);
    if (!bookPath_ || !fileExists(*bookPath_)) {
        bookFieldError().setHidden(false);
        return;
    }
    mainViewController().setContinueButtonEnabled(false);
    progressBar().setHidden(false);
    progressBar().startAnimation();
    mainViewController().setWorkingInfo("Opening book");
    // The queue keeps itself alive until its one operation has run; at most one is ever started,
    // since Continue stays disabled from here on.
    SerialQueue::create("tomely.locate-book")->addOperation([self = self(), bookPath = *bookPath_] {
        self->openBook(bookPath);
    });
}

void ACLocateBookViewController::openBook(const std::string& bookPath) {
    // Emptied here rather than on the main thread: a large earlier book takes a while to delete.
    Error failure;
    const std::optional<WorkArea> workArea = WorkArea::freshInApplicationSupport(&failure);
    if (!workArea) {
        failToOpenBook(failure);
        return;
    }
    const auto progress = [self = self()](std::uint64_t index, std::uint64_t totalFiles) {
        MainLoop::shared()->post([self, index, totalFiles] { self->showExtractionProgress(index, totalFiles); });
    };
    const std::optional<std::string> bookGuid = openBookPackage(bookPath, workArea->working(), &failure, progress);
    if (!bookGuid) {
        failToOpenBook(failure);
        return;
    }
    MainLoop::shared()->post([self = self()] {
        self->progressBar().setIndeterminate(true);
        self->progressBar().startAnimation();
        self->mainViewController().setWorkingInfo("Fetching your books from " + serviceDomainName());
    });
    fetchExistingBooks(*bookGuid);
}

void ACLocateBookViewController::showExtractionProgress(std::uint64_t index, std::uint64_t totalFiles) {
    // The bar fills as entries come out: the entry just done counts as done.
    progressBar().setIndeterminate(false);
    progressBar().setMaxValue(static_cast<double>(totalFiles));
    progressBar().setValue(static_cast<double>(index + 1));
}

void ACLocateBookViewController::fetchExistingBooks(const std::string& bookGuid) {
    ShelfClient().listBooks(
        [self = self(), bookGuid](BookListResult result) { self->existingBooksAnswered(std::move(result), bookGuid); });
}

void ACLocateBookViewController::existingBooksAnswered(BookListResult result, const std::string& bookGuid) {
    if (const auto* failure = std::get_if<CallFailure>(&result)) {
        ACFailure::httpFailure(mainViewController().desktop(), *failure);
        return;
    }
    if (auto next = ACStepViewController::initWithNibName<ACPrepareBookViewController>(
            "ACPrepareBookViewController", mainViewController().mainBundle(), mainViewController(),
            std::get<std::optional<std::vector<ExistingBook>>>(std::move(result)), bookGuid)) {
        next->addToMainViewController();
    }
}

void ACLocateBookViewController::failToOpenBook(const Error& error) {
    MainLoop::shared()->post(
        [self = self(), error] { ACFailure::unzipFailure(self->mainViewController().desktop(), error); });
}

}  // namespace tomely
