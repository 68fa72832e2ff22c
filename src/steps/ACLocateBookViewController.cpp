#include "steps/ACLocateBookViewController.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>

#include "session/SessionTexts.h"
#include "steps/WizardOrder.h"

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
                                                       std::shared_ptr<PublishSession> session,
                                                       std::optional<std::string> proposedBookPath)
    : SessionStep(std::move(view), mainViewController, std::move(session)),
      proposedBookPath_(std::move(proposedBookPath)) {}

void ACLocateBookViewController::addToMainViewController() {
    SessionStep::addToMainViewController();
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
    // At most one opening is ever started, since Continue stays disabled from here on.
    session().openBook(*bookPath_);
}

void ACLocateBookViewController::countProgressed(SessionStage /*stage*/, std::uint64_t done, std::uint64_t total) {
    // The bar fills as entries come out.
    progressBar().setIndeterminate(false);
    progressBar().setMaxValue(static_cast<double>(total));
    progressBar().setValue(static_cast<double>(done));
}

void ACLocateBookViewController::stageBegan(SessionStage stage) {
    if (stage == SessionStage::Listing) {
        progressBar().setIndeterminate(true);
        progressBar().startAnimation();
        mainViewController().setWorkingInfo(stageText(stage));
    }
}

void ACLocateBookViewController::booksListed(const BookListing& listing) {
    WizardOrder::installPrepareStep(mainViewController(), sharedSession(), listing);
}

}  // namespace tomely
