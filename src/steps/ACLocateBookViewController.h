#pragma once

#include <memory>
#include <optional>
#include <string>

#include "steps/LocateBookView.h"
#include "steps/SessionStep.h"

namespace tomely {

// The second step: the author names the book file, proposed by a running iBooks Author, by the
// path the application was opened with, or picked in an open panel. On Continue the session opens
// the book (a fresh Working directory, the extraction and the Book GUID on a queue of its own) and
// lists the author's books; the prepare-book step follows with the listing. A book that cannot be
// extracted or names no GUID ends the wizard through the extraction failure alert, an unexpected
// answer to the list call through the HTTP failure alert. Main thread only.
class ACLocateBookViewController : public SessionStep {
public:
    // `proposedBookPath`: a book the application was asked to open. It is chosen when the step is
    // shown, instead of asking running applications.
    ACLocateBookViewController(std::unique_ptr<View> view, ACMainViewController& mainViewController,
                               std::shared_ptr<PublishSession> session, std::optional<std::string> proposedBookPath);

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
    void showBook(const std::string& path);
    void continuePressed();

    // SessionObserver: the extraction's progress, then the list call.
    void countProgressed(SessionStage stage, std::uint64_t done, std::uint64_t total) override;
    void stageBegan(SessionStage stage) override;
    void booksListed(const BookListing& listing) override;

    std::optional<std::string> proposedBookPath_;
    std::optional<std::string> bookPath_;
};

}  // namespace tomely
