#include "steps/ACPrepareBookViewController.h"

#include "app/BlockTimer.h"
#include "shelf/UploadTarget.h"
#include "steps/ACUploadBookViewController.h"

namespace tomely {

ACPrepareBookViewController::ACPrepareBookViewController(std::unique_ptr<View> view,
                                                         ACMainViewController& mainViewController,
                                                         std::optional<std::vector<ExistingBook>> existingBooks,
                                                         std::string bookGuid)
    : ACStepViewController(std::move(view), mainViewController),
      bookGuid_(std::move(bookGuid)),
      existingBooks_(std::move(existingBooks)) {}

ACPrepareBookViewController::~ACPrepareBookViewController() {
    // The table lives in the view, which the base releases after this part of the step is gone.
    existingBooksTable().setDataSource(nullptr);
}

void ACPrepareBookViewController::addToMainViewController() {
    ACStepViewController::addToMainViewController();
    TableControl& table = existingBooksTable();
    table.setDataSource(this);
    table.reloadData();
    if (existingBooks_) {
        if (const std::optional<std::size_t> row = preselectedRow(*existingBooks_, bookGuid_)) {
            table.selectRow(static_cast<int>(*row));
        }
    }
    std::weak_ptr<ACStepViewController> weakSelf = weak_from_this();
    for (const double seconds : {0.1, 0.25}) {
        BlockTimer::scheduledTimerWithTimeInterval(seconds, false, [weakSelf](BlockTimer&) {
            if (auto self = weakSelf.lock()) {
                static_cast<ACPrepareBookViewController&>(*self).existingBooksTable().makeFirstResponder();
            }
        });
    }
    mainViewController().stepThree();
    mainViewController().setWorkingInfo(std::nullopt);
    mainViewController().setContinueBlock([this](Button*) { continuePressed(); });
}

void ACPrepareBookViewController::continuePressed() {
    errorField().setHidden(true);
    errorField2().setHidden(true);
    const int selected = existingBooksTable().selectedRow();
    const std::optional<std::size_t> selectedRow =
        selected < 0 ? std::nullopt : std::optional(static_cast<std::size_t>(selected));
    UploadTargetChoice choice = chooseUploadTarget(generateBookField().text(), selectedRow, existingBooks_);
    switch (choice.verdict) {
        case UploadTargetChoice::Verdict::NothingChosen:
            errorField().setHidden(false);
            return;
        case UploadTargetChoice::Verdict::NameClash:
            errorField2().setHidden(false);
            return;
        case UploadTargetChoice::Verdict::Accepted:
            break;
    }
    if (auto next = ACStepViewController::initWithNibName<ACUploadBookViewController>(
            "ACUploadBookViewController", mainViewController().mainBundle(), mainViewController(), bookGuid_,
            std::move(choice.target.bookId), std::move(choice.target.bookName))) {
        next->addToMainViewController();
    }
}

int ACPrepareBookViewController::numberOfRows() const {
    return existingBooks_ ? static_cast<int>(existingBooks_->size()) : 0;
}

std::string ACPrepareBookViewController::objectValue(int /*column*/, int row) const {
    if (!existingBooks_ || row < 0 || static_cast<std::size_t>(row) >= existingBooks_->size()) {
        return {};
    }
    return (*existingBooks_)[static_cast<std::size_t>(row)].displayTitle();
}

}  // namespace tomely
