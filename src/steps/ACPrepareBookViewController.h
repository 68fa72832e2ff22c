#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "steps/PrepareBookView.h"
#include "steps/SessionStep.h"

namespace tomely {

// The third step: the author replaces one of the books already on the service (its row is
// selected in advance when one of its uploads carries the Book GUID) or types the title of a new
// one. A book whose "book_id" cannot name it is shown disabled: it cannot be replaced. On Continue
// the choice is checked and the upload step takes over with the target: the book id of the chosen
// book or the new title. While a title is typed, the table is set aside (a typed title wins), and a
// line under the field says which choice Continue will take. The step is the data source of its
// table. Main thread only.
class ACPrepareBookViewController : public SessionStep, private TableDataSource {
public:
    // `listing.books` is none when the service's list could not be decoded: the table is then
    // empty and only a new book can be made.
    ACPrepareBookViewController(std::unique_ptr<View> view, ACMainViewController& mainViewController,
                                std::shared_ptr<PublishSession> session, BookListing listing);
    ~ACPrepareBookViewController() override;
    ACPrepareBookViewController(const ACPrepareBookViewController&) = delete;
    ACPrepareBookViewController& operator=(const ACPrepareBookViewController&) = delete;

    // Fills the table, selects the local book's row, installs the step, highlights step three,
    // clears the working indicator and binds Continue. The table takes the keyboard focus after
    // 0.1 s and again after 0.25 s, once the view is surely on screen.
    void addToMainViewController() override;

    [[nodiscard]] const std::string& bookGuid() const { return listing_.bookGuid; }
    [[nodiscard]] const std::optional<std::vector<ExistingBook>>& existingBooks() const { return listing_.books; }
    [[nodiscard]] TextField& generateBookField() const { return controls().generateBookField(); }
    [[nodiscard]] TextControl& continueChoiceText() const { return controls().continueChoiceText(); }
    [[nodiscard]] TextControl& errorField() const { return controls().errorField(); }
    [[nodiscard]] TextControl& errorField2() const { return controls().errorField2(); }
    [[nodiscard]] TableControl& existingBooksTable() const { return controls().existingBooksTable(); }

private:
    [[nodiscard]] PrepareBookView& controls() const { return viewAs<PrepareBookView>(); }
    void continuePressed();
    [[nodiscard]] std::optional<std::size_t> selectedRow() const;
    // Sets the table aside while a title is typed and says what Continue would do now.
    void showContinueChoice();

    // TableDataSource: every column shows the title; a book that cannot be replaced is disabled.
    [[nodiscard]] int numberOfRows() const override;
    [[nodiscard]] std::string objectValue(int column, int row) const override;
    [[nodiscard]] bool isRowEnabled(int row) const override;
    [[nodiscard]] const ExistingBook* bookAt(int row) const;

    const BookListing listing_;
};

}  // namespace tomely
