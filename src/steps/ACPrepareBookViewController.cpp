#include "steps/ACPrepareBookViewController.h"

#include "app/BlockTimer.h"
#include "shelf/UploadTarget.h"
#include "steps/WizardOrder.h"

namespace tomely {

ACPrepareBookViewController::ACPrepareBookViewController(std::unique_ptr<View> view,
                                                         ACMainViewController& mainViewController,
                                                         std::shared_ptr<PublishSession> session, BookListing listing)
    : SessionStep(std::move(view), mainViewController, std::move(session)), listing_(std::move(listing)) {}

ACPrepareBookViewController::~ACPrepareBookViewController() {
    // The controls live in the view, which the base releases after this part of the step is gone.
    existingBooksTable().setDataSource(nullptr);
    existingBooksTable().setSelectionChangedAction({});
    generateBookField().setTextChangedAction({});
}

void ACPrepareBookViewController::addToMainViewController() {
    SessionStep::addToMainViewController();
    TableControl& table = existingBooksTable();
    table.setDataSource(this);
    table.reloadData();
    if (listing_.preselectedRow) {
        table.selectRow(static_cast<int>(*listing_.preselectedRow));
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
    UploadTargetChoice choice = chooseUploadTarget(generateBookField().text(), selectedRow(), listing_.books);
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
    WizardOrder::installUploadStep(mainViewController(), sharedSession(), std::move(choice.target));
}

std::optional<std::size_t> ACPrepareBookViewController::selectedRow() const {
    const int selected = existingBooksTable().selectedRow();
    return selected < 0 ? std::nullopt : std::optional(static_cast<std::size_t>(selected));
}

void ACPrepareBookViewController::showContinueChoice() {
    const std::string name = generateBookField().text();
    const UploadTargetPreview preview = previewUploadTarget(name, selectedRow(), listing_.books);
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
    return listing_.books ? static_cast<int>(listing_.books->size()) : 0;
}

const ExistingBook* ACPrepareBookViewController::bookAt(int row) const {
    if (!listing_.books || row < 0 || static_cast<std::size_t>(row) >= listing_.books->size()) {
        return nullptr;
    }
    return &(*listing_.books)[static_cast<std::size_t>(row)];
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
