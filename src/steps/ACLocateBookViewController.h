#pragma once

#include <memory>
#include <optional>
#include <string>

#include "app/ACStepViewController.h"
#include "platform/Error.h"
#include "shelf/ShelfClient.h"
#include "steps/LocateBookView.h"

namespace tomely {

// The second step: the author names the book file, proposed by a running iBooks Author, by the
// path the application was opened with, or picked in an open panel. On Continue the book is
// extracted into a fresh Working directory on a serial queue, its Book GUID read, and the
// author's existing books fetched; the prepare-book step follows with both. A book that cannot
// be extracted or names no GUID ends the wizard through the extraction failure alert, an
// unexpected answer to the list call through the HTTP failure alert.
//
// Controls, handlers and alerts belong to the main thread; the extraction, the GUID reading and
// the start of the list call run on the step's queue and hand every change to the main loop.
class ACLocateBookViewController : public ACStepViewController {
public:
    // `proposedBookPath`: a book the application was asked to open. It is chosen when the step is
    // shown, instead of asking running applications.
    ACLocateBookViewController(std::unique_ptr<View> view, ACMainViewController& mainViewController,
                               std::optional<std::string> proposedBookPath);

    // Proposes a book, installs the step, highlights step two and binds Continue.
    void addToMainViewController() override;
    void bindContinueBlock();
    // Chooses the last saved document of a running iBooks Author, if there is one.
    void autolocateBook();
    // The open panel, limited to "iba" files; cancelling keeps the book chosen before.
    void findBookPressed();

    // The chosen book file; none until one is chosen.
    [[nodiscard]] const std::optional<std::string>& bookPath() const { return bookPath_; }
    [[nodiscard]] TextControl& filePathText() const { return controls().filePathText(); }
    [[nodiscard]] TextControl& bookFieldError() const { return controls().bookFieldError(); }
    [[nodiscard]] ProgressIndicator& progressBar() const { return controls().progressBar(); }

    // The bundle identifier of iBooks Author, compared in lower case.
    static constexpr std::string_view kBookAuthoringApplication = "com.apple.ibooksauthor";

private:
    [[nodiscard]] LocateBookView& controls() const { return viewAs<LocateBookView>(); }
    [[nodiscard]] std::shared_ptr<ACLocateBookViewController> self();
    void showBook(const std::string& path);
    void continuePressed();
    // The background operation: runs on the step's serial queue.
    void openBook(const std::string& bookPath);
    void showExtractionProgress(std::uint64_t index, std::uint64_t totalFiles);
    void fetchExistingBooks(const std::string& bookGuid);
    void existingBooksAnswered(BookListResult result, const std::string& bookGuid);
    // Ends the wizard: the book cannot be opened. Any thread.
    void failToOpenBook(const Error& error);

    std::optional<std::string> proposedBookPath_;
    std::optional<std::string> bookPath_;
};

}  // namespace tomely
