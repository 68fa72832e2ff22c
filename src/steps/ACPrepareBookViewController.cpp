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
    // The controls live in the view, which the base releases after this part of the step is gone.
    existingBooksTable().setDataSource(nullptr);
    existingBooksTable().setSelectionChangedAction({});
    generateBookField().setTextChangedAction({});
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
    showContinueChoice();
    table.setSelectionChangedAction([this] { showContinueChoice(); });
    generateBookField().setTextChangedAction([this] { showContinueChoice(); });
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
    UploadTargetChoice choice = chooseUploadTarget(generateBookField().text(), selectedRow(), existingBooks_);
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

std::optional<std::size_t> ACPrepareBookViewController::selectedRow() const {
    const int selected = existingBooksTable().selectedRow();
    return selected < 0 ? std::nullopt : std::optional(static_cast<std::size_t>(selected));
}

void ACPrepareBookViewController::showContinueChoice() {
    const std::string name = generateBookField().text();
    const UploadTargetPreview preview = previewUploadTarget(name, selectedRow(), existingBooks_);
    existingBooksTable().setSetAside(preview.tableSetAside);
    std::string text;
    switch (preview.verdict) {
        case UploadTargetChoice::Verdict::NothingChosen:
            text = "Continue needs a book to replace or a title for a new book.";
            break;
        case UploadTargetChoice::Verdict::NameClash:
            text = "Continue will not publish \"" + name + "\": a book with a title like it is on your shelf already.";
            break;
        case UploadTargetChoice::Verdict::Accepted:
            if (preview.replacedRow) {
                const std::string title = objectValue(0, static_cast<int>(*preview.replacedRow));
                text = title.empty() ? "Continue will replace the selected book on your shelf."
                                     : "Continue will replace \"" + title + "\" on your shelf.";
            } else if (selectedRow()) {
                text = "Continue will publish a new book titled \"" + name + "\"; the selected book stays as it is.";
            } else {
                text = "Continue will publish a new book titled \"" + name + "\".";
            }
            break;
    }
    continueChoiceText().setText(text);
}

int ACPrepareBookViewController::numberOfRows() const {
    return existingBooks_ ? static_cast<int>(existingBooks_->size()) : 0;
}

const ExistingBook* ACPrepareBookViewController::bookAt(int row) const {
    if (!existingBooks_ || row < 0 || static_cast<std::size_t>(row) >= existingBooks_->size()) {
        return nullptr;
    }
    return &(*existingBooks_)[static_cast<std::size_t>(row)];
}

std::string ACPrepareBookViewController::objectValue(int /*column*/, int row) const {
    const ExistingBook* book = bookAt(row);
    return book != nullptr ? book->displayTitle() : std::string();
}

bool ACPrepareBookViewController::isRowEnabled(int row) const {
    const ExistingBook* book = bookAt(row);
    return book != nullptr && book->canBeReplaced();
}

}  // namespace tomely
